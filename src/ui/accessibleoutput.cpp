#include "ui/accessibleoutput.h"

#include <QAccessible>
#include <QList>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>

namespace {

// The panes whose streams are open, and the handler that was installed before this one (none
// means the platform's).
QList<AccessibleOutput *> openStreams;
bool handlerInstalled = false;
QAccessible::UpdateHandler previousHandler = nullptr;

int plainLength(const QPlainTextEdit *pane)
{
    return pane->document()->characterCount() - 1;
}

} // namespace

AccessibleOutput::AccessibleOutput(QPlainTextEdit *pane)
    : QObject(pane)
    , pane(pane)
{
    tellTimer.setSingleShot(true);
    connect(&tellTimer, &QTimer::timeout, this, [this] { tell(); });
}

AccessibleOutput::~AccessibleOutput()
{
    // The pane is being destroyed: nothing is told any more.
    if (openStreams.removeOne(this))
        uninstallUnlessStreaming();
}

void AccessibleOutput::beginStream()
{
    if (streaming)
        return;
    streaming = true;
    changedFrom = -1;
    toldLength = plainLength(pane);
    sinceTold.start();
    openStreams.append(this);
    if (!handlerInstalled) {
        previousHandler = QAccessible::installUpdateHandler(&AccessibleOutput::handleEvent);
        handlerInstalled = true;
    }
}

void AccessibleOutput::endStream()
{
    if (!streaming)
        return;
    streaming = false;
    openStreams.removeOne(this);
    tell();
    uninstallUnlessStreaming();
}

void AccessibleOutput::uninstallUnlessStreaming()
{
    if (!handlerInstalled || !openStreams.isEmpty())
        return;
    const QAccessible::UpdateHandler current = QAccessible::installUpdateHandler(previousHandler);
    if (current == &AccessibleOutput::handleEvent) {
        handlerInstalled = false;
        return;
    }
    // A handler installed after this one calls it: it stays, and passes every event on.
    QAccessible::installUpdateHandler(current);
}

void AccessibleOutput::handleEvent(QAccessibleEvent *event)
{
    for (AccessibleOutput *output : std::as_const(openStreams)) {
        if (output->holdBack(event))
            return;
    }
    forward(event);
}

void AccessibleOutput::forward(QAccessibleEvent *event)
{
    if (previousHandler) {
        previousHandler(event);
        return;
    }
    // The platform's handling has no public entry of its own: it is what Qt does with no handler
    // installed.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(&AccessibleOutput::handleEvent);
}

bool AccessibleOutput::holdBack(QAccessibleEvent *event)
{
    // The scroll bars follow the output on every slice; their position is always readable.
    if (event->type() == QAccessible::ValueChanged &&
        (event->object() == pane->verticalScrollBar() ||
         event->object() == pane->horizontalScrollBar()))
        return true;
    if (event->object() != pane)
        return false;
    int position = 0;
    switch (event->type()) {
    case QAccessible::TextInserted:
        position = static_cast<QAccessibleTextInsertEvent *>(event)->changePosition();
        break;
    case QAccessible::TextRemoved:
        position = static_cast<QAccessibleTextRemoveEvent *>(event)->changePosition();
        break;
    case QAccessible::TextUpdated:
        position = static_cast<QAccessibleTextUpdateEvent *>(event)->changePosition();
        break;
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
        // The runner keeps the caret at the end of the output.
        return true;
    default:
        return false;
    }
    changedFrom = changedFrom < 0 ? position : std::min(changedFrom, position);
    if (!tellTimer.isActive()) {
        // A client slower than kIntervalMs / kClientShare per event hears less often, so that it
        // takes at most that share of the stream's time.
        const qint64 interval = std::max<qint64>(kIntervalMs, tellCostMs * kClientShare);
        tellTimer.start(int(std::max<qint64>(0, interval - sinceTold.elapsed())));
    }
    return true;
}

void AccessibleOutput::tell()
{
    tellTimer.stop();
    if (changedFrom < 0)
        return;
    // Every change held back lies at or after changedFrom: the text before it is what the client
    // was last told, the text from it on is new.
    const int from = std::min({changedFrom, toldLength, plainLength(pane)});
    changedFrom = -1;
    sinceTold.start();
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(pane);
    QAccessibleTextInterface *text = accessible ? accessible->textInterface() : nullptr;
    if (!text)
        return;
    const int length = text->characterCount();
    // The text replaced is gone; like Qt's own events, its length is given in spaces.
    const QString removed(toldLength - from, QLatin1Char(' '));
    toldLength = length;
    QElapsedTimer cost;
    cost.start();
    if (length == from) {
        QAccessibleTextRemoveEvent event(pane, from, removed);
        if (!removed.isEmpty())
            forward(&event);
    } else if (removed.isEmpty()) {
        QAccessibleTextInsertEvent event(pane, from, text->text(from, length));
        forward(&event);
    } else {
        QAccessibleTextUpdateEvent event(pane, from, removed, text->text(from, length));
        forward(&event);
    }
    tellCostMs = cost.elapsed();
}

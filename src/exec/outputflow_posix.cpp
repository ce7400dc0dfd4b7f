#include "exec/outputflow.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>

namespace {
const QString kFlowName = QStringLiteral("quillwickOutputFlow");
} // namespace

// QProcess reads its pipes when their socket notifiers fire. Turning the read notifiers off
// leaves the data in the pipe; the one that watches for the child's end goes off with them, and
// whatever happened meanwhile is seen as soon as they are back on.
struct OutputFlow::Platform
{
    bool held = false;
    QList<QPointer<QSocketNotifier>> heldNotifiers;
};

OutputFlow::OutputFlow(QProcess &process)
    : QObject(&process)
    , process(process)
    , platform(new Platform)
{
    setObjectName(kFlowName);
    connect(&process, &QProcess::readyReadStandardOutput, this, &OutputFlow::readyRead);
}

OutputFlow::~OutputFlow()
{
    delete platform;
}

// The child's own pipe, which QProcess reads, can always be held here.
bool OutputFlow::canHold() const
{
    return true;
}

// No named pipe here.
void OutputFlow::setPipeNamePartsForTesting(const QStringList &) {}

OutputFlow *OutputFlow::of(QProcess &process)
{
    return process.findChild<OutputFlow *>(kFlowName, Qt::FindDirectChildrenOnly);
}

QByteArray OutputFlow::read()
{
    return process.readAllStandardOutput();
}

void OutputFlow::hold()
{
    if (platform->held)
        return;
    platform->held = true;
    const auto notifiers =
        process.findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled()) {
            notifier->setEnabled(false);
            platform->heldNotifiers.append(notifier);
        }
    }
}

void OutputFlow::release()
{
    if (!platform->held)
        return;
    platform->held = false;
    for (const QPointer<QSocketNotifier> &notifier : std::as_const(platform->heldNotifiers)) {
        if (notifier)
            notifier->setEnabled(true);
    }
    platform->heldNotifiers.clear();
}

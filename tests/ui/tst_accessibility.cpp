#include "accessibilityclient.h"
#include "mainwindowaccess.h"
#include "piecewriterline.h"
#include "testmain.h"
#include "ui/accessibleoutput.h"
#include "widgetwatch.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>

// What accessibility clients hear of the window while a child's output streams into the pane. The
// client is an update handler installed before the window's, which passes events on to it as it
// would to the platform: it records every event, at once. Qt raises accessibility events only
// while its platform accessibility is active. Under Windows (and Wine) the test activates UI
// Automation with the request a client sends; what a real client then does with each event, a
// round trip to another process, is the benchmark's business. The offscreen platform has no
// accessibility, nor has Linux without an AT-SPI bus that asks for it: there the test is skipped.

namespace {

struct Heard
{
    QObject *object = nullptr;
    QAccessible::Event type = QAccessible::InvalidEvent;
    const QAccessibleEvent *event = nullptr;
    // Of a text change: where, how many characters went, the text that came.
    int position = 0;
    qsizetype removed = 0;
    QString text;
    // Of a text box outside the main window, such as a text window's.
    bool textBoxElsewhere = false;
};

QList<Heard> heard;

void listen(QAccessibleEvent *event)
{
    Heard one;
    one.object = event->object();
    one.type = event->type();
    one.event = event;
    auto *widget = qobject_cast<QWidget *>(event->object());
    one.textBoxElsewhere =
        qobject_cast<QPlainTextEdit *>(widget) && !qobject_cast<MainWindow *>(widget->window());
    if (event->type() == QAccessible::TextInserted) {
        const auto *insert = static_cast<QAccessibleTextInsertEvent *>(event);
        one.position = insert->changePosition();
        one.text = insert->textInserted();
    } else if (event->type() == QAccessible::TextRemoved) {
        const auto *remove = static_cast<QAccessibleTextRemoveEvent *>(event);
        one.position = remove->changePosition();
        one.removed = remove->textRemoved().size();
    } else if (event->type() == QAccessible::TextUpdated) {
        const auto *update = static_cast<QAccessibleTextUpdateEvent *>(event);
        one.position = update->changePosition();
        one.removed = update->textRemoved().size();
        one.text = update->textInserted();
    }
    heard.append(one);
}

bool isTextChange(const Heard &event)
{
    return event.type == QAccessible::TextInserted || event.type == QAccessible::TextRemoved ||
           event.type == QAccessible::TextUpdated;
}

QList<Heard> textChangesOf(const QObject *object)
{
    QList<Heard> changes;
    for (const Heard &event : std::as_const(heard)) {
        if (event.object == object && isTextChange(event))
            changes.append(event);
    }
    return changes;
}

int eventsOf(const QObject *object)
{
    return int(std::count_if(heard.cbegin(), heard.cend(),
                             [object](const Heard &event) { return event.object == object; }));
}

// Accessible text gives line ends as paragraph separators.
QString asPlainText(QString text)
{
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

QString accessibleText(QWidget *widget)
{
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(widget)->textInterface();
    return asPlainText(text->text(0, text->characterCount()));
}

// `pieces` copies of `piece`, numbered where it has %1.
QList<QByteArray> numbered(const char *piece, int pieces)
{
    QList<QByteArray> list;
    for (int i = 1; i <= pieces; ++i)
        list.append(QString::fromLatin1(piece).arg(i).toLatin1());
    return list;
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void streamIsToldAtABoundedRateAndAsThePaneHoldsIt_data();
    void streamIsToldAtABoundedRateAndAsThePaneHoldsIt();
    void otherEventsPassOnUnchanged();

private:
    // Runs `pieces` as the output of a child, a read each, and waits for the run's footer.
    void runToTheEnd(const QList<QByteArray> &pieces);

    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
};

void AccessibilityTest::initTestCase()
{
    // Before any window's handler, so that the window's passes events on to it.
    QAccessible::installUpdateHandler(listen);
}

void AccessibilityTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (!attachAccessibilityClient(window))
        QSKIP("This platform has no active accessibility to listen to.");
    heard.clear();
}

void AccessibilityTest::cleanup()
{
    delete ui;
    delete window;
}

void AccessibilityTest::runToTheEnd(const QList<QByteArray> &pieces)
{
    CommandInfo info;
    info.description = QStringLiteral("stream");
    info.command = pieceWriterLine(20, pieces);
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
}

void AccessibilityTest::streamIsToldAtABoundedRateAndAsThePaneHoldsIt_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    // Windows programs end lines with CR LF; a progress counter rewrites its line with lone CRs.
    QTest::newRow("lines") << numbered("line %1\r\nsecond line\r\n", 80);
    QTest::newRow("progress counter") << numbered("\r%1 %", 80);
    QTest::newRow("lines and a counter") << numbered("step %1\r\n\r10 %\r100 %\r\n", 80);
}

void AccessibilityTest::streamIsToldAtABoundedRateAndAsThePaneHoldsIt()
{
    QFETCH(QList<QByteArray>, pieces);
    QElapsedTimer run;
    run.start();
    runToTheEnd(pieces);
    const double seconds = double(run.elapsed()) / 1000;

    // One event a quarter of a second at most, from the header on, and the last one when the run
    // closes: far fewer than the child's reads.
    const QList<Heard> changes = textChangesOf(ui->outputEdit());
    const int bound = int(std::ceil(seconds * 1000 / AccessibleOutput::kIntervalMs)) + 1;
    QVERIFY2(changes.size() <= bound,
             qPrintable(QStringLiteral("%1 text events in %2 s").arg(changes.size()).arg(seconds)));
    QVERIFY(bound < pieces.size() / 2);

    // Told in order, the events build what the pane holds, which is also what it reads.
    QString told;
    for (const Heard &change : changes)
        told =
            told.left(change.position) + change.text + told.mid(change.position + change.removed);
    const QString pane = ui->outputEdit()->toPlainText();
    QCOMPARE(asPlainText(told), pane);
    QCOMPARE(accessibleText(ui->outputEdit()), pane);
    QVERIFY(asPlainText(changes.last().text)
                .endsWith(QStringLiteral("命令执行完成！\n") + QString(80, QLatin1Char('=')) +
                          QStringLiteral("\n\n")));
}

void AccessibilityTest::otherEventsPassOnUnchanged()
{
    // A keystroke in the search box, told as it is while no run is open.
    QTest::keyClick(ui->searchEdit(), Qt::Key_N);
    const int keystrokeEvents = eventsOf(ui->searchEdit());
    QVERIFY(keystrokeEvents > 0);
    heard.clear();

    CommandInfo info;
    info.description = QStringLiteral("stream");
    info.command = pieceWriterLine(20, numbered("line %1\r\n", 60));
    ui->executeCommand(info);
    QTRY_VERIFY(ui->outputEdit()->toPlainText().contains(QStringLiteral("line 3\n")));

    // While the pane's output is held back: the same keystroke raises as much as before, and an
    // event of another widget reaches the client itself, at once.
    QTest::keyClick(ui->searchEdit(), Qt::Key_E);
    QCOMPARE(eventsOf(ui->searchEdit()), keystrokeEvents);
    QAccessibleValueChangeEvent valueChange(ui->stopBtn(), 7);
    QAccessible::updateAccessibility(&valueChange);
    QCOMPARE(heard.last().event, &valueChange);
    QCOMPARE(heard.last().type, QAccessible::ValueChanged);
    QVERIFY(ui->stopBtn()->isEnabled());

    // Once the run has closed, the pane's own events pass on as they come again.
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    heard.clear();
    ui->outputEdit()->appendPlainText(QStringLiteral("typed"));
    QCOMPARE(textChangesOf(ui->outputEdit()).size(), 1);
    QCOMPARE(asPlainText(textChangesOf(ui->outputEdit()).last().text), QStringLiteral("\ntyped"));

    // A text window is told of its text once.
    heard.clear();
    auto windows = answerTextWindows(1);
    ui->showTextDialog(QStringLiteral("系统信息"), QStringLiteral("line\n").repeated(2000));
    QCOMPARE(windows->size(), 1);
    const auto windowTextChanges =
        std::count_if(heard.cbegin(), heard.cend(), [](const Heard &event) {
            return event.textBoxElsewhere && isTextChange(event);
        });
    QCOMPARE(windowTextChanges, 1);
}

QUILLWICK_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"

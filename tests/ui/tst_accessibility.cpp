#include "accessibilityclient.h"
#include "mainwindowaccess.h"
#include "piecewriterline.h"
#include "testmain.h"
#include "ui/accessibleoutput.h"
#include "widgetwatch.h"

#include <QAccessible>
#include <QHash>

#include <cmath>
#include <utility>

// What a listening accessibility client hears while output streams into the pane: an update
// handler installed before the window's, which passes events on to it as to the platform, records
// each at once (what a real client costs per event is the benchmark's business). Qt raises events
// only while its platform accessibility is active: under Windows and Wine the test activates UI
// Automation as a client does; offscreen and on Linux without AT-SPI it is skipped.

namespace {

struct TextChange
{
    int position;
    qsizetype removed;
    QString text; // line ends as paragraph separators
};
QHash<const QObject *, QList<TextChange>> changesOf;
QHash<const QObject *, int> eventsOf;
const QAccessibleEvent *lastEvent = nullptr;
int textChangesOutsideTheWindow = 0;

void listen(QAccessibleEvent *event)
{
    QObject *object = event->object();
    lastEvent = event;
    ++eventsOf[object];
    if (const auto *e = dynamic_cast<QAccessibleTextInsertEvent *>(event))
        changesOf[object].append({e->changePosition(), 0, e->textInserted()});
    else if (const auto *e = dynamic_cast<QAccessibleTextRemoveEvent *>(event))
        changesOf[object].append({e->changePosition(), e->textRemoved().size(), {}});
    else if (const auto *e = dynamic_cast<QAccessibleTextUpdateEvent *>(event))
        changesOf[object].append({e->changePosition(), e->textRemoved().size(), e->textInserted()});
    else
        return;
    auto *widget = qobject_cast<QWidget *>(object);
    textChangesOutsideTheWindow += widget && !qobject_cast<MainWindow *>(widget->window());
}

void forget()
{
    changesOf.clear();
    eventsOf.clear();
    textChangesOutsideTheWindow = 0;
}

QString plain(QString text)
{
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QAccessible::installUpdateHandler(listen); }
    void init();
    void cleanup()
    {
        delete std::exchange(ui, nullptr);
        delete std::exchange(window, nullptr);
    }
    void paneIsToldAtABoundedRateAndOtherEventsPassOn_data();
    void paneIsToldAtABoundedRateAndOtherEventsPassOn();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
};

void AccessibilityTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (!attachAccessibilityClient(window)) {
        // A skip in init() is not followed by cleanup().
        cleanup();
        QSKIP("This platform has no accessibility to make active.");
    }
    forget();
}

void AccessibilityTest::paneIsToldAtABoundedRateAndOtherEventsPassOn_data()
{
    // Windows programs end lines with CR LF; a progress counter rewrites its line with lone CRs.
    QTest::addColumn<QByteArray>("piece");
    QTest::newRow("lines") << QByteArray("line %1\r\nsecond line\r\n");
    QTest::newRow("progress counter") << QByteArray("\r%1 %");
    QTest::newRow("lines and a counter") << QByteArray("step %1\r\n\r10 %\r100 %\r\n");
}

void AccessibilityTest::paneIsToldAtABoundedRateAndOtherEventsPassOn()
{
    QFETCH(QByteArray, piece);
    QTest::keyClick(ui->searchEdit(), Qt::Key_N);
    // Two events a keystroke in browsing, and no more while a run streams.
    const int keystroke = eventsOf.value(ui->searchEdit());
    QVERIFY(keystroke > 0 && keystroke <= 2);
    forget();

    // A child writes 80 numbered pieces, a read each.
    QList<QByteArray> pieces;
    for (int i = 1; i <= 80; ++i)
        pieces.append(QString::fromLatin1(piece).arg(i).toLatin1());
    CommandInfo info;
    info.command = pieceWriterLine(20, pieces);
    QElapsedTimer run;
    run.start();
    ui->executeCommand(info);

    // While the pane's output is held back, a keystroke is told as before, and any other widget's
    // event reaches the client itself.
    QTest::keyClick(ui->searchEdit(), Qt::Key_E);
    QCOMPARE(eventsOf.value(ui->searchEdit()), keystroke);
    QAccessibleValueChangeEvent valueChange(ui->stopBtn(), 7);
    QAccessible::updateAccessibility(&valueChange);
    QCOMPARE(lastEvent, &valueChange);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);

    // One event a quarter of a second at most, from the header on, and one at the close: far
    // fewer than the child's reads.
    const QList<TextChange> told = changesOf.value(ui->outputEdit());
    const int bound = int(std::ceil(double(run.elapsed()) / AccessibleOutput::kIntervalMs)) + 1;
    QVERIFY2(told.size() <= bound && bound < 40,
             qPrintable(QStringLiteral("%1 events, %2 ms").arg(told.size()).arg(run.elapsed())));

    // Applied in order, the events build what the pane holds, which is what it reads too.
    QString built;
    for (const TextChange &change : told)
        built =
            built.left(change.position) + change.text + built.mid(change.position + change.removed);
    const QString pane = ui->outputEdit()->toPlainText();
    QCOMPARE(plain(built), pane);
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(ui->outputEdit())->textInterface();
    QCOMPARE(plain(text->text(0, text->characterCount())), pane);
    QVERIFY(plain(told.last().text)
                .endsWith(QStringLiteral("命令执行完成！\n") + QString(80, u'=') +
                          QStringLiteral("\n\n")));

    // After the close the pane's events pass as they come; a text window tells its text once.
    forget();
    ui->outputEdit()->appendPlainText(QStringLiteral("typed"));
    QCOMPARE(changesOf.value(ui->outputEdit()).size(), 1);
    forget();
    auto windows = answerTextWindows(1);
    ui->showTextDialog(QStringLiteral("系统信息"), QStringLiteral("line\n").repeated(2000));
    QCOMPARE(windows->size(), 1);
    QCOMPARE(textChangesOutsideTheWindow, 1);
}

QUILLWICK_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"

// The console runner of the output pane with real children of /bin/sh. POSIX only: the command
// lines are shell lines.
#include "exec/consoledecoder.h"
#include "exec/shellcommand.h"
#include "mainwindowaccess.h"
#include "posixprocess.h"
#include "testmain.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QThread>

namespace {

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");
const QString kStopped = QStringLiteral("\n\n命令已被用户中断！\n");
const QString kTimedOut = QStringLiteral("\n命令执行超时！\n");
const QString kPingNotice = QStringLiteral("正在执行持续ping测试，按停止按钮可中断...\n\n");

// Long enough for any test command, short enough that a hanging run fails the test quickly.
constexpr int kTestRunTimeoutMs = 8000;
constexpr int kRunEndMs = 5000;

CommandInfo consoleRecord(const QString &description, const QString &line)
{
    CommandInfo info;
    info.description = description;
    info.command = line;
    info.category = QStringLiteral("测试");
    return info;
}

// The header as the user must see it, written out here rather than taken from the code.
QString expectedHeader(const QString &description, const QString &line, const QString &time)
{
    return QStringLiteral("\n") + kRule + QStringLiteral("\n执行命令: ") + description +
           QStringLiteral("\n命令内容: ") + line + QStringLiteral("\n执行时间: ") + time +
           QStringLiteral("\n") + kRule + QStringLiteral("\n\n");
}

// The time stamps of the headers in the pane, in order.
QStringList headerTimes(const QString &pane)
{
    static const QRegularExpression stamp(
        QStringLiteral("\n执行时间: (\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})\n"));
    QStringList times;
    for (auto it = stamp.globalMatch(pane); it.hasNext();)
        times << it.next().captured(1);
    return times;
}

// A line whose first output line is the process id of a program it started in the background.
const QString kGrandchildLine = QStringLiteral("sleep 30 & echo $!; wait");

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerOutputAndFooterByteForByte();
    void outputArrivesLiveAtTheEndOfThePane();
    void characterSplitAcrossChunksIsDecodedWhole();
    void continuousPingRunsWithoutTimeOut();
    void timeOutEndsTheWholeCommand();
    void stopButtonEndsTheWholeCommand();
    void stopInterruptsBeforeItEnds_data();
    void stopInterruptsBeforeItEnds();
    void stopOrTimeOutAfterTheShellEndedEndsNothing();
    void escapeWhileIdleWritesAFooter();
    void replacingARunClosesItBeforeTheNewHeader();
    void graphicalRunReplacesAConsoleRun();
    void startFailureClosesTheRun();
    void standardInputIsOpenUntilCtrlZ();
    void closingTheWindowEndsTheWholeCommand();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;

    QString pane() const { return ui->outputEdit()->toPlainText(); }
    void run(const QString &description, const QString &line)
    {
        ui->executeCommand(consoleRecord(description, line));
    }
    bool runIsOpen() const { return ui->process() != nullptr; }
    qint64 firstLineNumber(const QString &after);
};

void RunnerTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    ui->setRunTimeoutMs(kTestRunTimeoutMs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void RunnerTest::cleanup()
{
    ShellCommand::setProgramForTesting({});
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
}

// Waits for the number the command prints first after `after`; -1 when none comes.
qint64 RunnerTest::firstLineNumber(const QString &after)
{
    static const QRegularExpression number(QStringLiteral("^(\\d+)\n"));
    QRegularExpressionMatch match;
    const bool printed = QTest::qWaitFor(
        [&] {
            match = number.match(pane().mid(pane().indexOf(after) + after.size()));
            return match.hasMatch();
        },
        kRunEndMs);
    return printed ? match.captured(1).toLongLong() : -1;
}

void RunnerTest::headerOutputAndFooterByteForByte()
{
    const QString before =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    run(QStringLiteral("有输出"), QStringLiteral("printf 'hello\\nworld\\n'"));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("正在执行: 有输出..."));
    QVERIFY(ui->stopBtn()->isEnabled());
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    QVERIFY(ui->timeOutArmed());
    QCOMPARE(ui->timeoutTimer()->interval(), kTestRunTimeoutMs);
    QVERIFY(ui->timeoutTimer()->isSingleShot());
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);

    run(QStringLiteral("无输出"), QStringLiteral("true"));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);

    run(QStringLiteral("返回码"), QStringLiteral("echo failing; exit 3"));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    const QString after =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));

    const QStringList times = headerTimes(pane());
    QCOMPARE(times.size(), 3);
    for (const QString &time : times)
        QVERIFY2(before <= time && time <= after, qPrintable(time));

    const QString expected =
        expectedHeader(QStringLiteral("有输出"), QStringLiteral("printf 'hello\\nworld\\n'"),
                       times[0]) +
        QStringLiteral("hello\nworld\n") + kFooter +
        expectedHeader(QStringLiteral("无输出"), QStringLiteral("true"), times[1]) + kFooter +
        expectedHeader(QStringLiteral("返回码"), QStringLiteral("echo failing; exit 3"), times[2]) +
        QStringLiteral("failing\n\n命令执行完成，返回码: 3\n") + kFooter;
    QCOMPARE(pane(), expected);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->timeOutArmed());
}

void RunnerTest::outputArrivesLiveAtTheEndOfThePane()
{
    const QString line = QStringLiteral("printf 'first\\n'; sleep 0.5; printf 'second\\n'");
    run(QStringLiteral("逐步输出"), line);
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("first\n")), kRunEndMs);
    QVERIFY(runIsOpen());
    // Only the header names the second word so far.
    QCOMPARE(pane().count(QStringLiteral("second")), 1);

    // The user puts the cursor at the very start and types; the output still goes to the end.
    QTextCursor cursor = ui->outputEdit()->textCursor();
    cursor.movePosition(QTextCursor::Start);
    ui->outputEdit()->setTextCursor(cursor);
    ui->outputEdit()->setFocus();
    QTest::keyClicks(ui->outputEdit(), QStringLiteral("typed"));
    QVERIFY(pane().startsWith(QStringLiteral("typed\n")));

    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    const QStringList times = headerTimes(pane());
    QCOMPARE(times.size(), 1);
    QCOMPARE(pane(), QStringLiteral("typed") +
                         expectedHeader(QStringLiteral("逐步输出"), line, times[0]) +
                         QStringLiteral("first\nsecond\n") + kFooter);
}

void RunnerTest::characterSplitAcrossChunksIsDecodedWhole()
{
    // The decoder keeps the first half of a character until the second arrives.
    const QByteArray euro = QStringLiteral("€").toUtf8();
    QCOMPARE(euro.size(), 3);
    ConsoleDecoder decoder;
    QCOMPARE(decoder.decode(euro.left(2)), QString());
    QCOMPARE(decoder.decode(euro.mid(2) + "x\n"), QStringLiteral("€x\n"));

    // The same through a real child whose two writes are read separately.
    run(QStringLiteral("分块"),
        QStringLiteral("printf '\\344\\270'; sleep 0.3; printf '\\255\\n'"));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY2(pane().contains(QStringLiteral("=\n\n中\n\n=")), qPrintable(pane()));
    QVERIFY(!pane().contains(QChar::ReplacementCharacter));
}

void RunnerTest::continuousPingRunsWithoutTimeOut()
{
    ui->setRunTimeoutMs(300);
    const QString line = QStringLiteral("echo ping -t; sleep 30");
    run(QStringLiteral("持续"), line);
    QVERIFY(!ui->timeOutArmed());
    // The notice follows the header directly, before any output of the command.
    const QStringList times = headerTimes(pane());
    QCOMPARE(pane(), expectedHeader(QStringLiteral("持续"), line, times.value(0)) + kPingNotice);
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("ping -t\n")), kRunEndMs);
    QTest::qWait(600);
    QVERIFY(runIsOpen());
    QVERIFY(!pane().contains(kTimedOut));
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("ping -t\n") + kStopped + kFooter));

    // Upper-case PING is no continuous ping: guarded and timed out like any other command.
    run(QStringLiteral("大写"), QStringLiteral("echo PING -t; sleep 30"));
    QVERIFY(ui->timeOutArmed());
    QCOMPARE(ui->timeoutTimer()->interval(), 300);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("\n\nPING -t\n") + kTimedOut + kFooter));
    QCOMPARE(pane().count(kPingNotice), 1);
}

void RunnerTest::timeOutEndsTheWholeCommand()
{
    ui->setRunTimeoutMs(700);
    run(QStringLiteral("超时"), kGrandchildLine);
    const qint64 grandchild = firstLineNumber(kRule + QStringLiteral("\n\n"));
    QVERIFY(grandchild > 0);
    QVERIFY(!processEnded(grandchild));
    const qint64 shell = ui->process()->processId();

    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    const QStringList times = headerTimes(pane());
    QCOMPARE(pane(), expectedHeader(QStringLiteral("超时"), kGrandchildLine, times.value(0)) +
                         QString::number(grandchild) + QStringLiteral("\n") + kTimedOut + kFooter);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);
    QVERIFY(processEnded(shell));

    // A long maintenance program among the run's programs, whatever the line's first word,
    // starts the count again: `sleep` under the name of one.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), dir.filePath(QStringLiteral("chkdsk"))));
    const QString longWork =
        QStringLiteral("echo start; '%1' 2; echo done").arg(dir.filePath(QStringLiteral("chkdsk")));
    ui->setRunTimeoutMs(300);
    run(QStringLiteral("长时间"), longWork);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY2(pane().endsWith(QStringLiteral("start\ndone\n") + kFooter), qPrintable(pane()));
}

void RunnerTest::stopButtonEndsTheWholeCommand()
{
    run(QStringLiteral("停止"), kGrandchildLine);
    const qint64 grandchild = firstLineNumber(kRule + QStringLiteral("\n\n"));
    QVERIFY(grandchild > 0);
    QVERIFY(!processEnded(grandchild));
    QVERIFY(ui->stopBtn()->isEnabled());

    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    const QStringList times = headerTimes(pane());
    QCOMPARE(pane(), expectedHeader(QStringLiteral("停止"), kGrandchildLine, times.value(0)) +
                         QString::number(grandchild) + QStringLiteral("\n") + kStopped + kFooter);
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->timeOutArmed());
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);
}

void RunnerTest::stopInterruptsBeforeItEnds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("output");
    // Whether the run still runs a second after the stop: ended by the grace, not the interrupt.
    QTest::addColumn<bool>("outlivesTheInterrupt");
    // Whether "停止执行" is pressed a second time, which ends the rest at once.
    QTest::addColumn<bool>("stopTwice");

    // As ping prints its statistics on Ctrl+C: before the stop notice.
    const QString handles =
        QStringLiteral("trap 'echo summary; exit 3' INT; echo $$; while :; do sleep 0.1; done");
    QTest::newRow("handles the interrupt")
        << handles << QStringLiteral("summary\n") << false << false;
    const QString ignores = QStringLiteral("trap '' INT; echo $$; sleep 30; echo never");
    QTest::newRow("ignores the interrupt") << ignores << QString() << true << false;
    QTest::newRow("ignores it, stopped twice") << ignores << QString() << false << true;
}

void RunnerTest::stopInterruptsBeforeItEnds()
{
    QFETCH(QString, line);
    QFETCH(QString, output);
    QFETCH(bool, outlivesTheInterrupt);
    QFETCH(bool, stopTwice);
    run(QStringLiteral("中断"), line);
    const qint64 shell = firstLineNumber(kRule + QStringLiteral("\n\n"));
    QVERIFY(shell > 0);
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    if (stopTwice) {
        // The stop button stays usable during the grace.
        QVERIFY(ui->stopBtn()->isEnabled());
        QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
        // Well before the grace of 2 s would end it.
        QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), 1500);
    }
    if (outlivesTheInterrupt) {
        QTest::qWait(1000);
        QVERIFY(runIsOpen());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY2(pane().endsWith(QString::number(shell) + QStringLiteral("\n") + output + kStopped +
                             kFooter),
             qPrintable(pane()));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(shell), 2000);
}

void RunnerTest::stopOrTimeOutAfterTheShellEndedEndsNothing()
{
    // The shell has ended, leaving its background sleep on purpose, but QProcess has not been told
    // yet: no event is processed between the end and the stop or time-out. The run closes as a
    // normal end and the sleep keeps running.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const bool byTimeOut : {false, true}) {
        const QString pidFile = dir.filePath(QString::number(byTimeOut));
        run(QStringLiteral("已结束"),
            QStringLiteral("sleep 30 > /dev/null & echo $! > '%1'").arg(pidFile));
        const qint64 shell = ui->process()->processId();
        QElapsedTimer clock;
        clock.start();
        while (!processEnded(shell) && clock.elapsed() < kRunEndMs)
            QThread::msleep(10);
        QVERIFY(processEnded(shell));
        QVERIFY(ui->process()->state() != QProcess::NotRunning);
        if (byTimeOut)
            ui->runTimedOut();
        else
            QVERIFY(QMetaObject::invokeMethod(window, "stopCommand"));
        QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
        QVERIFY2(pane().endsWith(kRule + QStringLiteral("\n\n") + kFooter), qPrintable(pane()));
        const qint64 sleep = pidFromFile(pidFile);
        QVERIFY(sleep > 0);
        QVERIFY(!processEnded(sleep));
        ::kill(static_cast<pid_t>(sleep), SIGKILL);
    }
}

void RunnerTest::escapeWhileIdleWritesAFooter()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    ui->statusLabel()->setText(QStringLiteral("别的消息"));
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(pane(), kFooter);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());

    // Esc during a run stops it like the button.
    run(QStringLiteral("按键停止"), QStringLiteral("echo started; sleep 30"));
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("started\n")), kRunEndMs);
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("started\n") + kStopped + kFooter));
}

void RunnerTest::replacingARunClosesItBeforeTheNewHeader()
{
    const QString oldLine = QStringLiteral("echo old; sleep 30 & echo $!; wait");
    run(QStringLiteral("旧"), oldLine);
    const qint64 oldGrandchild = firstLineNumber(QStringLiteral("old\n"));
    QVERIFY(oldGrandchild > 0);
    const qint64 oldShell = ui->process()->processId();

    const QString newLine = QStringLiteral("sleep 0.3; echo new");
    run(QStringLiteral("新"), newLine);
    // Right after the replacement the new run owns the status, the stop button and the timer.
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("正在执行: 新..."));
    QVERIFY(ui->stopBtn()->isEnabled());
    QVERIFY(ui->timeOutArmed());
    QVERIFY(runIsOpen());
    QVERIFY(processEnded(oldShell));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(oldGrandchild), 2000);

    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QTest::qWait(200);
    const QStringList times = headerTimes(pane());
    QCOMPARE(times.size(), 2);
    QCOMPARE(pane(), expectedHeader(QStringLiteral("旧"), oldLine, times[0]) +
                         QStringLiteral("old\n%1\n").arg(oldGrandchild) + kStopped + kFooter +
                         expectedHeader(QStringLiteral("新"), newLine, times[1]) +
                         QStringLiteral("new\n") + kFooter);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
}

void RunnerTest::graphicalRunReplacesAConsoleRun()
{
    const QString oldLine = QStringLiteral("echo old; sleep 30");
    run(QStringLiteral("旧"), oldLine);
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("old\n")), kRunEndMs);
    const qint64 oldShell = ui->process()->processId();

    // On Linux the detached start runs /bin/sh -c services.msc, which fails inside the shell; the
    // start of the shell itself succeeds.
    run(QStringLiteral("服务"), QStringLiteral("services.msc"));
    QVERIFY(!runIsOpen());
    QVERIFY(processEnded(oldShell));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->timeOutArmed());

    QTest::qWait(200);
    const QStringList times = headerTimes(pane());
    QCOMPARE(times.size(), 2);
    QCOMPARE(pane(),
             expectedHeader(QStringLiteral("旧"), oldLine, times[0]) + QStringLiteral("old\n") +
                 kStopped + kFooter +
                 expectedHeader(QStringLiteral("服务"), QStringLiteral("services.msc"), times[1]) +
                 QStringLiteral("正在启动图形界面程序...\n") + kFooter);
}

void RunnerTest::startFailureClosesTheRun()
{
    ShellCommand::setProgramForTesting(QStringLiteral("/nonexistent/quillwick-shell"));
    run(QStringLiteral("无法启动"), QStringLiteral("echo never"));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);

    const QStringList times = headerTimes(pane());
    const QString header =
        expectedHeader(QStringLiteral("无法启动"), QStringLiteral("echo never"), times.value(0));
    const QString failure = QStringLiteral("\n无法启动命令: ");
    QVERIFY2(pane().startsWith(header + failure), qPrintable(pane()));
    QVERIFY(pane().endsWith(QStringLiteral("\n") + kFooter));
    const QString reason = pane().mid(header.size() + failure.size()).chopped(kFooter.size() + 1);
    QVERIFY2(!reason.trimmed().isEmpty() && !reason.contains(QLatin1Char('\n')),
             qPrintable(reason));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->timeOutArmed());

    // The tool goes on: with the interpreter back, the next run works.
    ShellCommand::setProgramForTesting({});
    run(QStringLiteral("再次"), QStringLiteral("echo again"));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("again\n") + kFooter));
}

void RunnerTest::standardInputIsOpenUntilCtrlZ()
{
    // A program that reads its input waits for the user, as at a console; Ctrl+Z ends it.
    run(QStringLiteral("读取输入"), QStringLiteral("cat; echo cat ended with $?"));
    ui->outputEdit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(ui->outputEdit(), QStringLiteral("one"));
    QTest::keyClick(ui->outputEdit(), Qt::Key_Return);
    // The typed line, then what cat made of it.
    QTRY_VERIFY2_WITH_TIMEOUT(pane().endsWith(QStringLiteral("\n\none\none\n")), qPrintable(pane()),
                              kRunEndMs);
    QVERIFY(runIsOpen());
    QTest::keyClick(ui->outputEdit(), Qt::Key_Z, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY2(pane().endsWith(QStringLiteral("\n\none\none\n^Z\ncat ended with 0\n") + kFooter),
             qPrintable(pane()));
}

void RunnerTest::closingTheWindowEndsTheWholeCommand()
{
    run(QStringLiteral("关闭窗口"), kGrandchildLine);
    const qint64 grandchild = firstLineNumber(kRule + QStringLiteral("\n\n"));
    const qint64 shell = ui->process()->processId();
    QVERIFY(!processEnded(grandchild));

    QElapsedTimer clock;
    clock.start();
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    QVERIFY(clock.elapsed() < 2500);
    QVERIFY(processEnded(shell));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);
}

QUILLWICK_TEST_MAIN(RunnerTest)
#include "tst_runner.moc"

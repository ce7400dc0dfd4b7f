// The runner and the elevation layer against a real cmd.exe and the real Windows calls (Wine's on
// Linux). Windows only.
#include "exec/elevation.h"
#include "exec/shellcommand.h"
#include "mainwindowaccess.h"
#include "testmain.h"

#include <QRegularExpression>

#include <windows.h>

#include <tlhelp32.h>

namespace {

// Generous for cmd.exe's first start in a fresh Wine prefix.
constexpr int kRunEndMs = 30000;

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");

CommandInfo consoleRecord(const QString &line)
{
    CommandInfo info;
    info.description = QStringLiteral("测试");
    info.command = line;
    return info;
}

// Running processes called `exeName`, all of them or those whose parent is `parentId`.
QList<DWORD> processesNamed(const wchar_t *exeName, DWORD parentId = 0)
{
    QList<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if ((parentId == 0 || entry.th32ParentProcessID == parentId) &&
            _wcsicmp(entry.szExeFile, exeName) == 0)
            found << entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

bool isRunning(DWORD processId)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!handle)
        return false;
    const DWORD state = WaitForSingleObject(handle, 0);
    CloseHandle(handle);
    return state == WAIT_TIMEOUT;
}

} // namespace

class ExecutionWinTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void embeddedQuotesReachTheProgramUnchanged();
    void stopEndsTheProgramsOfTheChain();
    void timeOutEndsTheProgramsOfTheChain();
    void replacingARunEndsTheProgramsOfTheChain();
    void programsOfACommandThatEndedByItselfKeepRunning();
    void standardInputIsClosed();
    void startFailureClosesTheRunAtOnce();
    void tokenQueryAnswers();
    void failedShellStartIsReportedAsFailure();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;

    QString pane() const { return ui->outputEdit()->toPlainText(); }
    // Starts a chain whose ping runs for about 30 s and returns the ping's process id (0: none).
    DWORD startChainWithPing();
};

void ExecutionWinTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    ui->setRunTimeoutMs(kRunEndMs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ExecutionWinTest::cleanup()
{
    ShellCommand::setProgramForTesting({});
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
}

DWORD ExecutionWinTest::startChainWithPing()
{
    ui->executeCommand(consoleRecord(QStringLiteral("echo started & ping -n 30 127.0.0.1 > nul")));
    if (!ui->process())
        return 0;
    const auto shellId = static_cast<DWORD>(ui->process()->processId());
    QList<DWORD> pings;
    const bool pingStarted = QTest::qWaitFor(
        [&] { return !(pings = processesNamed(L"ping.exe", shellId)).isEmpty(); }, kRunEndMs);
    return pingStarted ? pings.first() : 0;
}

void ExecutionWinTest::embeddedQuotesReachTheProgramUnchanged()
{
    ui->executeCommand(consoleRecord(QStringLiteral("echo \"a b\" & echo \"%1\" \"\"")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    // cmd.exe writes CR LF; the pane keeps one line break for it.
    QVERIFY2(pane().contains(QStringLiteral("\n\"a b\" \n\"%1\" \"\"\n")), qPrintable(pane()));
    QVERIFY(!pane().contains(QLatin1Char('\\')));
    QVERIFY(pane().endsWith(kFooter));
}

void ExecutionWinTest::stopEndsTheProgramsOfTheChain()
{
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    QVERIFY(isRunning(ping));
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("\n\n命令已被用户中断！\n") + kFooter));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
}

void ExecutionWinTest::timeOutEndsTheProgramsOfTheChain()
{
    ui->setRunTimeoutMs(3000);
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("\n命令执行超时！\n") + kFooter));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
}

void ExecutionWinTest::replacingARunEndsTheProgramsOfTheChain()
{
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    ui->executeCommand(consoleRecord(QStringLiteral("echo next")));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    static const QRegularExpression order(QStringLiteral(
        "started \n\n\n命令已被用户中断！\n\n={80}\n命令执行完成！\n={80}\n\n\n={80}\n"
        "执行命令: 测试\n命令内容: echo next\n"));
    QVERIFY2(order.match(pane()).hasMatch(), qPrintable(pane()));
    QVERIFY(pane().endsWith(QStringLiteral("next\n") + kFooter));
}

void ExecutionWinTest::programsOfACommandThatEndedByItselfKeepRunning()
{
    // Like the catalog's `start notepad.exe`: what the command started outlives its run. Wine's
    // start is a program of its own, so the ping is found as a new one rather than as a child.
    const QList<DWORD> before = processesNamed(L"ping.exe");
    ui->executeCommand(consoleRecord(QStringLiteral("start /b ping -n 30 127.0.0.1 > nul")));
    QList<DWORD> started;
    QVERIFY(QTest::qWaitFor(
        [&] {
            started = processesNamed(L"ping.exe");
            for (DWORD old : before)
                started.removeAll(old);
            return !started.isEmpty();
        },
        kRunEndMs));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(500);
    QVERIFY(isRunning(started.first()));

    HANDLE ping = OpenProcess(PROCESS_TERMINATE, FALSE, started.first());
    QVERIFY(ping);
    TerminateProcess(ping, 0);
    CloseHandle(ping);
}

void ExecutionWinTest::standardInputIsClosed()
{
    // findstr without a file reads standard input; an open pipe would keep it waiting.
    ui->setRunTimeoutMs(15000);
    ui->executeCommand(consoleRecord(QStringLiteral("findstr x & echo findstr ended")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), 10000);
    QVERIFY2(pane().contains(QStringLiteral("findstr ended\n")), qPrintable(pane()));
    QVERIFY(!pane().contains(QStringLiteral("命令执行超时")));
}

void ExecutionWinTest::startFailureClosesTheRunAtOnce()
{
    ShellCommand::setProgramForTesting(QStringLiteral("C:\\no\\such\\folder\\cmd.exe"));
    // A continuous ping would write its notice after the start: not for a start that failed.
    ui->executeCommand(consoleRecord(QStringLiteral("ping -t 127.0.0.1")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY2(pane().contains(QStringLiteral("=\n\n\n无法启动命令: ")), qPrintable(pane()));
    QVERIFY(pane().endsWith(kFooter));
    QVERIFY(!pane().contains(QStringLiteral("持续ping")));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->timeoutTimer()->isActive());
}

void ExecutionWinTest::tokenQueryAnswers()
{
    const std::optional<bool> answer = Elevation::queryElevation();
    QVERIFY(answer.has_value());
    QCOMPARE(Elevation::isElevated(), *answer);
}

void ExecutionWinTest::failedShellStartIsReportedAsFailure()
{
    QVERIFY(!Elevation::restartElevated(QStringLiteral("C:/no/such/folder/quillwick.exe")));
}

QUILLWICK_TEST_MAIN(ExecutionWinTest)
#include "tst_execution_win.moc"

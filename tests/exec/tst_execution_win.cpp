// The runner and the elevation layer against a real cmd.exe and the real Windows calls (Wine's on
// Linux). Windows only.
#include "exec/consoledecoder.h"
#include "exec/elevation.h"
#include "exec/shellcommand.h"
#include "mainwindowaccess.h"
#include "piecewriterline.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

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
    void interpreterIsSystemCmdWithoutAutoRun();
    void outputIsDecodedInTheConsoleCodePage();
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

void ExecutionWinTest::interpreterIsSystemCmdWithoutAutoRun()
{
    // A cmd.exe in the working directory comes before System32 in a search by name; here it is
    // the piecewriter fixture, which would print its usage line instead of running the command.
    QTemporaryDir planted;
    QVERIFY(planted.isValid());
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/piecewriter.exe"),
                        planted.filePath(QStringLiteral("cmd.exe"))));
    const QString previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(planted.path()));
    ui->executeCommand(consoleRecord(QStringLiteral("echo from system cmd")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QDir::setCurrent(previousDirectory);
    QVERIFY2(pane().contains(QStringLiteral("\nfrom system cmd\n")), qPrintable(pane()));
    QVERIFY(!pane().contains(QStringLiteral("piecewriter")));

    // A user's AutoRun command would run before every line and write into the pane.
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Command Processor", 0,
                             nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
             LONG(ERROR_SUCCESS));
    const auto removeAutoRun = qScopeGuard([key] {
        RegDeleteValueW(key, L"AutoRun");
        RegCloseKey(key);
    });
    const wchar_t autoRun[] = L"echo AUTORUN-RAN";
    QCOMPARE(RegSetValueExW(key, L"AutoRun", 0, REG_SZ, reinterpret_cast<const BYTE *>(autoRun),
                            sizeof autoRun),
             LONG(ERROR_SUCCESS));
    QProcess probe;
    probe.setNativeArguments(QStringLiteral("/c echo probe"));
    probe.start(QStringLiteral("cmd.exe"), {});
    QVERIFY(probe.waitForFinished(kRunEndMs));
    if (!probe.readAllStandardOutput().contains("AUTORUN-RAN"))
        QSKIP("this cmd.exe ignores AutoRun (Wine 8 does); Windows' own runs it unless /d");
    ui->executeCommand(consoleRecord(QStringLiteral("echo line only")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY2(!pane().contains(QStringLiteral("AUTORUN-RAN")), qPrintable(pane()));
}

void ExecutionWinTest::outputIsDecodedInTheConsoleCodePage()
{
    // A Chinese progress counter in GBK (code page 936), with double-byte characters split
    // between reads, as a Chinese Windows' console programs write it.
    ui->setConsoleDecoder(ConsoleDecoder(936));
    const QByteArray progress10 =
        QByteArray::fromHex("d1e9d6a42031302520d2d1cdeab3c9a1a3") + "\r"; // 验证 10% 已完成。
    const QByteArray progress100 =
        QByteArray::fromHex("d1e9d6a4203130302520d2d1cdeab3c9a1a3") + "\r\n"; // 验证 100% 已完成。
    // Split after the lead byte of 验 and after the lead byte of 完.
    ui->executeCommand(consoleRecord(pieceWriterLine(
        200, {progress10.left(1), progress10.mid(1, 11), progress10.mid(12), progress100})));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    // Wine's console shows only ASCII: the pane is printed with escapes.
    QVERIFY2(pane().contains(QStringLiteral("=\n\n验证 100% 已完成。\n\n=")),
             pane().toUtf8().toPercentEncoding(" =\n").constData());

    // By default, the OEM code page. Where it differs from the ANSI one (437 against 1252 in
    // Wine's default prefix, as on a Western Windows) the two decode differently: 0x82 0x94 is
    // "éö" in 437 and 850.
    if (GetOEMCP() != 437 && GetOEMCP() != 850)
        QSKIP("the check's bytes are chosen for the OEM code pages 437 and 850");
    QCOMPARE(ConsoleDecoder().decode("\x82\x94"), QStringLiteral("éö"));
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

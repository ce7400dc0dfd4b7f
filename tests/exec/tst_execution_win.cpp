// The runner and the elevation layer against a real cmd.exe and the real Windows calls (Wine's on
// Linux). Windows only.
//
// Quillwick.exe is a GUI-subsystem program without a console, and QProcess picks the console flags
// of a child by whether its parent has one; this test executable is a console program, so it gives
// its console up first. Wine creates windows, console windows included, only with an X display:
// tools/windows.sh runs the tests under Xvfb; without a display the checks of windows are skipped.
#include "exec/consoledecoder.h"
#include "exec/elevation.h"
#include "exec/processtree.h"
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

#include <utility>

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

void endProcess(DWORD processId)
{
    if (HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, processId)) {
        TerminateProcess(handle, 0);
        CloseHandle(handle);
    }
}

// Blocks until `processId` has ended, without running the event loop, so that QProcess does not
// learn of the end meanwhile.
bool waitWithoutEvents(DWORD processId)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!handle)
        return false;
    const bool ended = WaitForSingleObject(handle, kRunEndMs) == WAIT_OBJECT_0;
    CloseHandle(handle);
    return ended;
}

QString fixture(const char *name)
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                    QLatin1String(name));
}

QString readReport(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool systemShowsWindows()
{
    HWND window = CreateWindowW(L"STATIC", L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    if (window)
        DestroyWindow(window);
    return window != nullptr;
}

const QString kNoDisplay =
    QStringLiteral("Wine without an X display creates no windows (run it under Xvfb)");

} // namespace

class ExecutionWinTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void embeddedQuotesReachTheProgramUnchanged();
    void interpreterIsSystemCmdWithoutAutoRun();
    void outputIsDecodedInTheConsoleCodePage();
    void chineseCmdWritesUtf16AmongCodePage936Lines();
    void stopEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void timeOutEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void stopSparesWhatItCannotTellFromTheUsersOwn_data();
    void stopSparesWhatItCannotTellFromTheUsersOwn();
    void replacingARunEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void programsOfACommandThatEndedByItselfKeepRunning();
    void stopOrTimeOutAfterTheInterpreterEndedEndsNothing();
    void standardInputIsClosed();
    void startFailureClosesTheRunAtOnce();
    void failedJobAssignmentOrResumeClosesTheRunAtOnce();
    void detachedConsoleProgramGetsAConsoleWindowGraphicalToolNone();
    void tokenQueryAnswers();
    void failedShellStartIsReportedAsFailure();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QTemporaryDir *files = nullptr;
    bool showsWindows = false;
    QList<DWORD> windowed;

    QString pane() const { return ui->outputEdit()->toPlainText(); }
    // Starts a chain whose ping runs for about 30 s and, where windows can be shown, that leaves a
    // program with a window open, as `start notepad` would. Returns the ping's process id (0:
    // none); the windowed program's is the last of `windowed`.
    DWORD startChainWithPing();
};

void ExecutionWinTest::initTestCase()
{
    FreeConsole();
    showsWindows = systemShowsWindows();
}

void ExecutionWinTest::init()
{
    files = new QTemporaryDir;
    QVERIFY(files->isValid());
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    ui->setRunTimeoutMs(kRunEndMs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ExecutionWinTest::cleanup()
{
    ShellCommand::setProgramForTesting({});
    ProcessTree::setFailingStepForTesting(std::nullopt);
    ProcessTree::setRefusesExaminingForTesting({});
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    for (DWORD program : std::exchange(windowed, {}))
        endProcess(program);
    delete files;
    files = nullptr;
}

DWORD ExecutionWinTest::startChainWithPing()
{
    const QString report = QDir::toNativeSeparators(files->filePath(QStringLiteral("window.txt")));
    ui->executeCommand(consoleRecord(
        QStringLiteral("start \"\" \"%1\" \"%2\" & echo started & ping -n 30 127.0.0.1 > nul")
            .arg(fixture("windowedfixture.exe"), report)));
    if (!ui->process())
        return 0;
    const auto shellId = static_cast<DWORD>(ui->process()->processId());
    QList<DWORD> pings;
    const bool pingStarted = QTest::qWaitFor(
        [&] { return !(pings = processesNamed(L"ping.exe", shellId)).isEmpty(); }, kRunEndMs);
    // The window must be up before the run is ended, or it would be no window yet.
    (void)QTest::qWaitFor([&] { return !readReport(report).isEmpty(); }, kRunEndMs);
    static const QRegularExpression shown(QStringLiteral("^shown (\\d+)$"));
    if (const auto match = shown.match(readReport(report)); match.hasMatch())
        windowed << match.captured(1).toULong();
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
    ui->setRunCodePage(936);
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
    QCOMPARE(ConsoleDecoder::decodeAll("\x82\x94"), QStringLiteral("éö"));
}

void ExecutionWinTest::chineseCmdWritesUtf16AmongCodePage936Lines()
{
    // Wine's own cmd.exe in a Chinese locale writes like a Chinese Windows: its echo in code page
    // 936, and with /u in UTF-16LE, whose first character 不 (0D 4E) has a CR as its low byte and
    // no NUL before it. Wine takes the locale from the Unix environment when a program starts, so
    // the tst_execution_win_zh_CN registration runs this test with LANG=zh_CN.UTF-8; the runner
    // decodes in the console's code page, as Quillwick does.
    if (GetOEMCP() != 936)
        QSKIP("needs a Chinese locale (OEM code page 936); tst_execution_win_zh_CN runs it");
    const struct
    {
        QString line;
        QString shown;
    } runs[] = {{QStringLiteral("cmd /u /c echo 不存在"), QStringLiteral("不存在\n")},
                {QStringLiteral("echo 第一行 & cmd /u /c echo 不存在 & echo 完成"),
                 QStringLiteral("第一行 \n不存在 \n完成\n")}};
    for (const auto &run : runs) {
        ui->executeCommand(consoleRecord(run.line));
        QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
        // Wine's console shows only ASCII: the pane is printed with escapes.
        QVERIFY2(pane().endsWith(QStringLiteral("=\n\n") + run.shown + kFooter),
                 pane().toUtf8().toPercentEncoding(" =\n").constData());
    }
}

void ExecutionWinTest::stopEndsTheConsoleProgramsOfTheChainNotItsWindow()
{
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    QVERIFY(isRunning(ping));
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("\n\n命令已被用户中断！\n") + kFooter));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
    if (!showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    QCOMPARE(windowed.size(), 1);
    QVERIFY(isRunning(windowed.first()));
}

void ExecutionWinTest::timeOutEndsTheConsoleProgramsOfTheChainNotItsWindow()
{
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    // Once everything runs: a program that has not shown its window yet has no window to spare.
    ui->timeoutTimer()->start(50);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("\n命令执行超时！\n") + kFooter));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
    if (!showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    QCOMPARE(windowed.size(), 1);
    QVERIFY(isRunning(windowed.first()));
}

void ExecutionWinTest::stopSparesWhatItCannotTellFromTheUsersOwn_data()
{
    // "%1": the test's folder, with the windowed fixture's report and two copies of piecewriter
    // that no other test runs, spared.exe and ended.exe, each writing for 30 s.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("survivor");
    QTest::addColumn<bool>("refusing");
    const auto writer = [](const char *name) {
        return QStringLiteral("\"%1\\") + QLatin1String(name) + QStringLiteral(".exe\" 1000") +
               QStringLiteral(" 78").repeated(30);
    };
    const QString ended = writer("ended");
    // Like a tray program or one whose window is not up yet; Wine shows this also without a
    // display, as the program opens no window at all.
    QTest::newRow("graphical program without a window")
        << QStringLiteral("start \"\" \"%1\" /hidden \"%2\" & ")
                   .arg(fixture("windowedfixture.exe"), QStringLiteral("%1\\window.txt")) +
               ended
        << QStringLiteral("windowedfixture.exe") << false;
    // Like mmc elevated by itself in a standard user's run: Wine has no integrity levels, so the
    // seam refuses the tool's look. Nothing else is spared: only ending the whole job would end it.
    QTest::newRow("program the tool may not look at")
        << QStringLiteral("start \"\" /b ") + writer("spared") + QStringLiteral(" & ") + ended
        << QStringLiteral("spared.exe") << true;
    // Wine's console host, like Windows Terminal (not there to try), shows no window naming it.
    QTest::newRow("console program in a console of its own")
        << QStringLiteral("start \"\" ") + writer("spared") + QStringLiteral(" & ") + ended
        << QStringLiteral("spared.exe") << false;
    // Like a Python Tk script: it keeps the run's console host, which serves its console.
    QTest::newRow("console program with a window")
        << QStringLiteral("start \"\" /b ") + ended +
               QStringLiteral(" & \"%1\" \"%2\"")
                   .arg(fixture("consolewindowfixture.exe"), QStringLiteral("%1\\window.txt"))
        << QStringLiteral("consolewindowfixture.exe") << false;
}

void ExecutionWinTest::stopSparesWhatItCannotTellFromTheUsersOwn()
{
    QFETCH(QString, line);
    QFETCH(QString, survivor);
    QFETCH(bool, refusing);
    // Consoles are told apart by their windows; Wine gives none without a display.
    const bool ownConsole = QByteArray(QTest::currentDataTag()).contains("console of its own");
    const bool consoleWindow = survivor == QLatin1String("consolewindowfixture.exe");
    if ((ownConsole || consoleWindow) && !showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    for (const char *copy : {"spared.exe", "ended.exe"})
        QVERIFY(QFile::copy(fixture("piecewriter.exe"), files->filePath(QLatin1String(copy))));
    if (refusing)
        ProcessTree::setRefusesExaminingForTesting(
            [](quint32 id) { return processesNamed(L"spared.exe").contains(DWORD(id)); });
    ui->executeCommand(consoleRecord(line.arg(QDir::toNativeSeparators(files->path()))));
    QList<DWORD> survivors, endings;
    QVERIFY(QTest::qWaitFor(
        [&] {
            survivors = processesNamed(reinterpret_cast<const wchar_t *>(survivor.utf16()));
            endings = processesNamed(L"ended.exe");
            return !survivors.isEmpty() && !endings.isEmpty();
        },
        kRunEndMs));
    windowed << survivors;
    const auto shell = DWORD(ui->process()->processId());
    // Until the window is up, or the console attached (its host is the sign under Wine).
    if (line.contains(QLatin1String("window.txt")) || ownConsole)
        (void)QTest::qWaitFor(
            [&] {
                return !readReport(files->filePath(QStringLiteral("window.txt"))).isEmpty() ||
                       (ownConsole && !processesNamed(L"conhost.exe", survivors.first()).isEmpty());
            },
            5000);
    QVERIFY(QMetaObject::invokeMethod(window, "stopCommand"));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(endings.first()), 5000);
    QVERIFY(isRunning(survivors.first()));
    if (consoleWindow) {
        const QList<DWORD> hosts = processesNamed(L"conhost.exe", shell);
        QCOMPARE(hosts.size(), 1);
        QVERIFY(isRunning(hosts.first()));
    }
}

void ExecutionWinTest::replacingARunEndsTheConsoleProgramsOfTheChainNotItsWindow()
{
    const DWORD ping = startChainWithPing();
    QVERIFY(ping != 0);
    ui->executeCommand(consoleRecord(QStringLiteral("echo next")));
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(ping), 5000);
    if (showsWindows) {
        QCOMPARE(windowed.size(), 1);
        QVERIFY(isRunning(windowed.first()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    static const QRegularExpression order(QStringLiteral(
        "started \n\n\n命令已被用户中断！\n\n={80}\n命令执行完成！\n={80}\n\n\n={80}\n"
        "执行命令: 测试\n命令内容: echo next\n"));
    QVERIFY2(order.match(pane()).hasMatch(), qPrintable(pane()));
    QVERIFY(pane().endsWith(QStringLiteral("next\n") + kFooter));
    if (!showsWindows)
        QSKIP(qPrintable(kNoDisplay));
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

void ExecutionWinTest::stopOrTimeOutAfterTheInterpreterEndedEndsNothing()
{
    // cmd.exe has ended, leaving its ping on purpose, but QProcess has not been told yet: no event
    // is processed between the end and the stop or time-out. The run closes as a normal end.
    for (const bool byTimeOut : {false, true}) {
        const QList<DWORD> before = processesNamed(L"ping.exe");
        ui->executeCommand(consoleRecord(QStringLiteral("start /b ping -n 30 127.0.0.1 > nul")));
        QVERIFY(ui->process());
        QVERIFY(waitWithoutEvents(DWORD(ui->process()->processId())));
        QVERIFY(ui->process()->state() != QProcess::NotRunning);
        if (byTimeOut)
            ui->runTimedOut();
        else
            QVERIFY(QMetaObject::invokeMethod(window, "stopCommand"));
        QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
        QVERIFY2(pane().endsWith(kRule + QStringLiteral("\n\n") + kFooter), qPrintable(pane()));

        QList<DWORD> started = processesNamed(L"ping.exe");
        for (DWORD old : before)
            started.removeAll(old);
        QCOMPARE(started.size(), 1);
        QVERIFY(isRunning(started.first()));
        endProcess(started.first());
    }
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

void ExecutionWinTest::failedJobAssignmentOrResumeClosesTheRunAtOnce()
{
    // The system refuses the step; the child never runs and the run closes inside the call, not
    // by a time-out.
    const struct
    {
        ProcessTree::SetUpStep step;
        QString call;
    } failures[] = {{ProcessTree::SetUpStep::JoinTree, QStringLiteral("AssignProcessToJobObject")},
                    {ProcessTree::SetUpStep::Resume, QStringLiteral("ResumeThread")}};
    for (const auto &failure : failures) {
        ProcessTree::setFailingStepForTesting(failure.step);
        ui->outputEdit()->clear();
        ui->executeCommand(consoleRecord(QStringLiteral("echo never")));
        QVERIFY(!ui->process());
        static const QRegularExpression closed(QStringLiteral(
            "={80}\n\n\n无法启动命令: (\\w+): [^\n]+\n\n={80}\n命令执行完成！\n={80}\n\n$"));
        const QRegularExpressionMatch match = closed.match(pane());
        QVERIFY2(match.hasMatch(), qPrintable(pane()));
        QCOMPARE(match.captured(1), failure.call);
        QVERIFY(!ui->timeoutTimer()->isActive());
        QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
        QVERIFY(processesNamed(L"cmd.exe", GetCurrentProcessId()).isEmpty());
    }
    // Nothing is left over: the next run works.
    ProcessTree::setFailingStepForTesting(std::nullopt);
    ui->executeCommand(consoleRecord(QStringLiteral("echo again")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().endsWith(QStringLiteral("again\n") + kFooter));
}

void ExecutionWinTest::detachedConsoleProgramGetsAConsoleWindowGraphicalToolNone()
{
    // The console fixture stands in for ftp and for winver, first on the search path; it reports
    // what console window it got.
    QVERIFY(QFile::copy(fixture("consolefixture.exe"), files->filePath(QStringLiteral("ftp.exe"))));
    QVERIFY(
        QFile::copy(fixture("consolefixture.exe"), files->filePath(QStringLiteral("winver.exe"))));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(QDir::toNativeSeparators(files->path())) + ';' + path);
    const QString report = files->filePath(QStringLiteral("console.txt"));
    qputenv("QUILLWICK_CONSOLE_REPORT", QFile::encodeName(QDir::toNativeSeparators(report)));

    QStringList seen;
    for (const char *line : {"ftp", "winver"}) {
        QFile::remove(report);
        ui->executeCommand(consoleRecord(QString::fromLatin1(line)));
        QVERIFY(pane().endsWith(QStringLiteral("正在启动图形界面程序...\n") + kFooter));
        QTRY_VERIFY_WITH_TIMEOUT(!readReport(report).isEmpty(), kRunEndMs);
        seen << readReport(report);
    }
    // A console program that fails at once leaves its window open, waiting for a key; one that
    // succeeded closes it. Wine's console without a display has no keyboard to wait for.
    for (const bool fails : {false, true}) {
        if (fails && !showsWindows)
            break;
        QFile::remove(report);
        qputenv("QUILLWICK_CONSOLE_FAIL", fails ? "1" : "");
        const QList<DWORD> before = processesNamed(L"cmd.exe", GetCurrentProcessId());
        ui->executeCommand(consoleRecord(QStringLiteral("ftp")));
        QList<DWORD> shells;
        QVERIFY(QTest::qWaitFor(
            [&] {
                shells = processesNamed(L"cmd.exe", GetCurrentProcessId());
                for (DWORD old : before)
                    shells.removeAll(old);
                return !shells.isEmpty();
            },
            kRunEndMs));
        windowed << shells;
        QTRY_VERIFY_WITH_TIMEOUT(!readReport(report).isEmpty(), kRunEndMs);
        QTest::qWait(500);
        QTRY_COMPARE_WITH_TIMEOUT(isRunning(shells.first()), fails, kRunEndMs);
    }
    qunsetenv("QUILLWICK_CONSOLE_FAIL");
    qputenv("PATH", path);
    qunsetenv("QUILLWICK_CONSOLE_REPORT");
    if (!showsWindows) {
        QCOMPARE(seen.last(), QStringLiteral("no console"));
        QSKIP(qPrintable(kNoDisplay));
    }
    QCOMPARE(seen, QStringList({QStringLiteral("console visible"), QStringLiteral("no console")}));
}

void ExecutionWinTest::tokenQueryAnswers()
{
    const std::optional<bool> answer = Elevation::queryElevation();
    QVERIFY(answer.has_value());
    QCOMPARE(Elevation::isElevated(), *answer);
}

void ExecutionWinTest::failedShellStartIsReportedAsFailure()
{
    // Through the real ShellExecuteEx on its own thread; Wine has no UAC and asks no one.
    QVERIFY(!Elevation::restartElevated(QStringLiteral("C:/no/such/folder/quillwick.exe"),
                                        QDir::currentPath(), quintptr(window->winId())));
}

QUILLWICK_TEST_MAIN(ExecutionWinTest)
#include "tst_execution_win.moc"

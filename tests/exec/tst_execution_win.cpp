// The runner and the elevation layer against a real cmd.exe and the real Windows calls (Wine's on
// Linux). Windows only.
//
// Quillwick.exe is a GUI-subsystem program without a console, and QProcess picks the console flags
// of a child by whether its parent has one; this test executable is a console program, so it gives
// its console up first. Wine creates windows, console windows included, only with an X display:
// tools/windows.sh runs the tests under Xvfb; without a display the checks of windows are skipped.
#include "exec/consoledecoder.h"
#include "exec/elevation.h"
#include "exec/outputflow.h"
#include "exec/processtree.h"
#include "exec/shellcommand.h"
#include "mainwindowaccess.h"
#include "piecewriterline.h"
#include "readyrun.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextCursor>

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

// Programs a test leaves running, ended at its cleanup. Each is held by a handle from the moment
// it is known, and ended through it: once a few hundred programs have ended, Wine gives their ids
// to new ones, so an id kept until the cleanup could by then name another test's program.
class LeftRunning
{
public:
    LeftRunning() = default;
    LeftRunning(const LeftRunning &) = delete;
    LeftRunning &operator=(const LeftRunning &) = delete;
    ~LeftRunning() { endAll(); }

    LeftRunning &operator<<(DWORD id)
    {
        ids << id;
        if (HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id))
            handles << handle;
        return *this;
    }
    LeftRunning &operator<<(const QList<DWORD> &more)
    {
        for (DWORD id : more)
            *this << id;
        return *this;
    }
    qsizetype size() const { return ids.size(); }
    DWORD first() const { return ids.first(); }
    DWORD last() const { return ids.last(); }

    void endAll()
    {
        for (HANDLE handle : std::exchange(handles, {})) {
            TerminateProcess(handle, 0);
            CloseHandle(handle);
        }
        ids.clear();
    }

private:
    QList<DWORD> ids;
    QList<HANDLE> handles;
};

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

// Whether process `id` shows a window: under Wine a console host shows its console's window.
bool showsWindow(DWORD id)
{
    std::pair<DWORD, bool> search{id, false};
    EnumWindows(
        [](HWND window, LPARAM found) {
            auto *search = reinterpret_cast<std::pair<DWORD, bool> *>(found);
            DWORD owner = 0;
            if (IsWindowVisible(window) && GetWindowThreadProcessId(window, &owner))
                search->second |= owner == search->first;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

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
    void chineseCmdAsksAndIsAnsweredInThePane();
    void stopEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void timeOutEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void stopSparesWhatItCannotTellFromTheUsersOwn_data();
    void stopSparesWhatItCannotTellFromTheUsersOwn();
    void replacingARunEndsTheConsoleProgramsOfTheChainNotItsWindow();
    void programsOfACommandThatEndedByItselfKeepRunning();
    void stopOrTimeOutAfterTheInterpreterEndedEndsNothing();
    void interruptReachesTheProgramsOfTheRunsConsole_data();
    void interruptReachesTheProgramsOfTheRunsConsole();
    void runInheritsOnlyItsStandardHandles();
    void squattedPipeNamesAreTriedAgainThenOutputComesUnheld();
    void standardInputIsOpenUntilCtrlZ();
    void startFailureClosesTheRunAtOnce();
    void failedJobAssignmentOrResumeClosesTheRunAtOnce();
    void detachedConsoleProgramGetsAConsoleWindowGraphicalToolNone();
    void tokenQueryAnswers();
    void failedShellStartIsReportedAsFailure();
    void restartCountsOnlyAnInstanceThatIsUp();
    void substDriveIsHandedOverAsItsFolder();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QTemporaryDir *files = nullptr;
    bool showsWindows = false;
    LeftRunning windowed;

    QString pane() const { return ui->outputEdit()->toPlainText(); }
    // Starts a chain whose ping runs for about 30 s and, where windows can be shown, that leaves a
    // program with a window open, as `start notepad` would. Returns the ping's process id (0:
    // none); the windowed program's is the last of `windowed`.
    DWORD startChainWithPing();
};

void ExecutionWinTest::initTestCase()
{
    FreeConsole();
    // As a launcher that starts the tool in a process group of its own leaves it: ignoring Ctrl+C,
    // which every run would inherit and then could not be interrupted.
    SetConsoleCtrlHandler(nullptr, TRUE);
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
    OutputFlow::setPipeNamePartsForTesting({});
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    windowed.endAll();
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

void ExecutionWinTest::chineseCmdAsksAndIsAnsweredInThePane()
{
    // A real program that asks: Wine's cmd.exe in a Chinese locale writes set /p's prompt in code
    // page 936 without a line end and reads the answer from standard input, as Windows' does.
    // Before, the prompt appeared only at the run's end, with the variable unset.
    if (GetOEMCP() != 936)
        QSKIP("needs a Chinese locale (OEM code page 936); tst_execution_win_zh_CN runs it");
    ui->executeCommand(consoleRecord(QStringLiteral("set /p x=输入名称: & echo got[%x%]")));
    QTRY_VERIFY2_WITH_TIMEOUT(pane().endsWith(QStringLiteral("=\n\n输入名称: ")),
                              pane().toUtf8().toPercentEncoding(" =\n").constData(), kRunEndMs);
    QVERIFY(ui->process());
    ui->outputEdit()->moveCursor(QTextCursor::End);
    ui->outputEdit()->insertPlainText(QStringLiteral("张三"));
    QTest::keyClick(ui->outputEdit(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY2(pane().endsWith(QStringLiteral("=\n\n输入名称: 张三\ngot[张三]\n") + kFooter),
             pane().toUtf8().toPercentEncoding(" =\n").constData());
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
    QTest::addColumn<bool>("kept");
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
        << QStringLiteral("windowedfixture.exe") << false << true;
    // Like mmc elevated by itself in a standard user's run: Wine has no integrity levels, so the
    // seam refuses the tool's look. Nothing else is spared: only ending the whole job would end it.
    // It is in the run's console, so the stop's Ctrl+C reaches it first; this one ignores it.
    QTest::newRow("program the tool may not look at")
        << QStringLiteral("start \"\" /b \"%1\\refusing.exe\" ignore & ") + ended
        << QStringLiteral("refusing.exe") << true << true;
    // Wine's console host, like Windows Terminal (not there to try), shows no window naming it.
    QTest::newRow("console program in a console of its own")
        << QStringLiteral("start \"\" ") + writer("spared") + QStringLiteral(" & ") + ended
        << QStringLiteral("spared.exe") << false << true;
    // `Start-Process -WindowStyle Hidden`: nobody sees that console, nothing else would end it.
    QTest::newRow("console program in a hidden console of its own")
        << QStringLiteral("start \"\" \"%1\\hidden.exe\" hidden \"%1\\window.txt\" & ") + ended
        << QStringLiteral("hidden.exe") << false << false;
    // Like a Python Tk script: it keeps the run's console host, which serves its console.
    QTest::newRow("console program with a window")
        << QStringLiteral("start \"\" /b ") + ended +
               QStringLiteral(" & \"%1\" \"%2\"")
                   .arg(fixture("consolewindowfixture.exe"), QStringLiteral("%1\\window.txt"))
        << QStringLiteral("consolewindowfixture.exe") << false << true;
}

void ExecutionWinTest::stopSparesWhatItCannotTellFromTheUsersOwn()
{
    QFETCH(QString, line);
    QFETCH(QString, survivor);
    QFETCH(bool, refusing);
    QFETCH(bool, kept);
    // A console of its own is spared by its shown window; Wine gives none without a display.
    const bool ownConsole = QByteArray(QTest::currentDataTag()).contains("console of its own");
    const bool consoleWindow = survivor == QLatin1String("consolewindowfixture.exe");
    if ((ownConsole || consoleWindow) && !showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    for (const char *copy : {"spared.exe", "ended.exe"})
        QVERIFY(QFile::copy(fixture("piecewriter.exe"), files->filePath(QLatin1String(copy))));
    for (const char *copy : {"hidden.exe", "refusing.exe"})
        QVERIFY(QFile::copy(fixture("consolefixture.exe"), files->filePath(QLatin1String(copy))));
    if (refusing)
        ProcessTree::setRefusesExaminingForTesting([survivor](quint32 id) {
            return processesNamed(reinterpret_cast<const wchar_t *>(survivor.utf16()))
                .contains(DWORD(id));
        });
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
    // Until the window is up (or hidden), or the console's window shown: Wine's console host
    // shows it some time after the program has started.
    // Once it ignores Ctrl+C: it says "ready" after that.
    if (survivor == QLatin1String("refusing.exe"))
        QTRY_VERIFY_WITH_TIMEOUT(pane().contains(QStringLiteral("ready")), kRunEndMs);
    else if (line.contains(QLatin1String("window.txt")))
        (void)QTest::qWaitFor(
            [&] { return !readReport(files->filePath(QStringLiteral("window.txt"))).isEmpty(); },
            5000);
    else if (ownConsole)
        (void)QTest::qWaitFor(
            [&] {
                const QList<DWORD> hosts = processesNamed(L"conhost.exe", survivors.first());
                return !hosts.isEmpty() && showsWindow(hosts.first());
            },
            5000);
    QVERIFY(QMetaObject::invokeMethod(window, "stopCommand"));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(endings.first()), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(isRunning(survivors.first()), kept, 5000);
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
    // Like the catalog's `start notepad.exe`: what the command started on purpose outlives its
    // run (a graphical program, a console program in a console window of its own), while a
    // console program it left in its own hidden console (`start /b`) ends with it, as a closed
    // console window would end it. Wine's start is a program of its own, so the programs are
    // found by name; the ping keeps the run open until they are up.
    for (const char *copy : {"left.exe", "own.exe"})
        QVERIFY(QFile::copy(fixture("consolefixture.exe"), files->filePath(QLatin1String(copy))));
    const QString folder = QDir::toNativeSeparators(files->path());
    const QString report = folder + QStringLiteral("\\window.txt");
    ui->executeCommand(consoleRecord(
        QStringLiteral(
            "start \"\" /b \"%1\\left.exe\" default & start \"\" \"%2\" /hidden \"%3\" & "
            "start \"\" \"%1\\own.exe\" default & ping -n 3 127.0.0.1 > nul")
            .arg(folder, fixture("windowedfixture.exe"), report)));
    QList<DWORD> left, own;
    QVERIFY(QTest::qWaitFor(
        [&] {
            left = processesNamed(L"left.exe");
            own = processesNamed(L"own.exe");
            // Wine starts the host of a new console after its program.
            return !left.isEmpty() && !own.isEmpty() && !readReport(report).isEmpty() &&
                   !processesNamed(L"conhost.exe", own.first()).isEmpty();
        },
        kRunEndMs));
    windowed << own << readReport(report).section(QLatin1Char(' '), 1).toULong();
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(left.first()), 5000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(isRunning(windowed.last()));
    // A console of its own is spared by its shown window; Wine gives none without a display.
    if (!showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    QVERIFY(isRunning(own.first()));
}

void ExecutionWinTest::stopOrTimeOutAfterTheInterpreterEndedEndsNothing()
{
    // cmd.exe has ended, leaving its ping on purpose, but QProcess has not been told yet: no event
    // is processed between the end and the stop or time-out. The run closes as a normal end.
    for (const bool byTimeOut : {false, true}) {
        const QString report = files->filePath(QStringLiteral("window%1.txt").arg(byTimeOut));
        ui->executeCommand(consoleRecord(
            QStringLiteral("start \"\" \"%1\" /hidden \"%2\"")
                .arg(fixture("windowedfixture.exe"), QDir::toNativeSeparators(report))));
        QVERIFY(ui->process());
        QVERIFY(waitWithoutEvents(DWORD(ui->process()->processId())));
        QVERIFY(ui->process()->state() != QProcess::NotRunning);
        if (byTimeOut)
            ui->runTimedOut();
        else
            QVERIFY(QMetaObject::invokeMethod(window, "stopCommand"));
        QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
        QVERIFY2(pane().endsWith(kRule + QStringLiteral("\n\n") + kFooter), qPrintable(pane()));
        QTRY_VERIFY_WITH_TIMEOUT(!readReport(report).isEmpty(), kRunEndMs);
        windowed << readReport(report).section(QLatin1Char(' '), 1).toULong();
        QVERIFY(isRunning(windowed.last()));
    }
}

void ExecutionWinTest::interruptReachesTheProgramsOfTheRunsConsole_data()
{
    // Copies of the console fixture, named like long programs or not, with their switches: the
    // time-out looks at a run's programs whatever the line's first word.
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("endsOnInterrupt");
    QTest::addColumn<bool>("longRunning");
    QTest::newRow("handles Ctrl+C") << QStringLiteral("sfc.exe interrupt /scannow") << true << true;
    QTest::newRow("ended by Ctrl+C") << QStringLiteral("cipher.exe default /e") << true << false;
    QTest::newRow("ignores Ctrl+C") << QStringLiteral("cipher.exe ignore /w:C:\\") << false << true;
}

void ExecutionWinTest::interruptReachesTheProgramsOfTheRunsConsole()
{
    // The Ctrl+C reaches this test process too, while it is attached to the run's console, and
    // must not end it; the test started ignoring Ctrl+C itself (initTestCase), which the run must
    // not inherit. Wine's cmd.exe ends at once on Ctrl+C, Windows' waits for its program, so the
    // program is watched, not the interpreter, and writes into a file that outlives the pipe.
    // What Wine cannot show: that no console the user may close is attached to (Wine's console
    // hosts send no close events), and what real programs (ping, DISM) do on Ctrl+C.
    QFETCH(QString, program);
    QFETCH(bool, endsOnInterrupt);
    QFETCH(bool, longRunning);
    const QString name = program.section(QLatin1Char(' '), 0, 0);
    QVERIFY(QFile::copy(fixture("consolefixture.exe"), files->filePath(name)));
    const QString output = files->filePath(QStringLiteral("output.txt"));
    QProcess process;
    QVERIFY(startReadyRun(process,
                          QStringLiteral("echo ready & \"%1\\%2 > \"%3\"")
                              .arg(QDir::toNativeSeparators(files->path()),
                                   program.replace(name, name + QLatin1Char('"')),
                                   QDir::toNativeSeparators(output)),
                          kRunEndMs));
    QTRY_VERIFY_WITH_TIMEOUT(readReport(output).startsWith(QLatin1String("ready")), kRunEndMs);
    QCOMPARE(ProcessTree::runsLongProgram(process), longRunning);
    const QList<DWORD> programs = processesNamed(reinterpret_cast<const wchar_t *>(name.utf16()));
    QCOMPARE(programs.size(), 1);
    QVERIFY(ProcessTree::interrupt(process));
    // The stop's grace, then the end of the rest.
    QCOMPARE(QTest::qWaitFor([&] { return !isRunning(programs.first()); }, 3000), endsOnInterrupt);
    if (!ProcessTree::kill(process))
        ProcessTree::endLeftovers(process, ProcessTree::Leftovers::AllButUsers);
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(programs.first()), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, kRunEndMs);
    const QString said = readReport(output);
    QCOMPARE(said.contains(QLatin1String("summary")), program.contains(QLatin1String("interrupt")));
    QVERIFY2(!said.contains(QLatin1String("no interrupt")), qPrintable(said));
    QVERIFY(!ProcessTree::interrupt(process));
}

void ExecutionWinTest::runInheritsOnlyItsStandardHandles()
{
    // An inheritable handle of the tool, as a script's redirection leaves one; the fixture sets
    // the event if it inherited it. more reads the run's standard input, which is inherited.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
    QVERIFY(event);
    const auto closeEvent = qScopeGuard([event] { CloseHandle(event); });
    const QString line = QStringLiteral("\"%1\" signal %2 & more")
                             .arg(fixture("consolefixture.exe"))
                             .arg(quintptr(event));
    // Without the process tree (as a plain QProcess) every inheritable handle goes along: the
    // fixture can tell.
    for (const bool asRun : {false, true}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        ShellCommand::prepare(process, line);
        QByteArray output;
        if (asRun) {
            auto *flow = new OutputFlow(process);
            connect(flow, &OutputFlow::readyRead, this, [&] { output += flow->read(); });
            QVERIFY(ProcessTree::start(process).isEmpty());
        } else {
            process.start();
        }
        process.write("x\r\n");
        process.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, kRunEndMs);
        output += asRun ? OutputFlow::of(process)->read() : process.readAll();
        QVERIFY2(output.contains(asRun ? "not signalled" : "signalled") && output.contains("x\r\n"),
                 output.constData());
        QCOMPARE(WaitForSingleObject(event, 0), asRun ? DWORD(WAIT_TIMEOUT) : WAIT_OBJECT_0);
        ResetEvent(event);
    }
}

void ExecutionWinTest::squattedPipeNamesAreTriedAgainThenOutputComesUnheld()
{
    // Another program took the name the output pipe would get.
    HANDLE squatter = CreateNamedPipeW(L"\\\\.\\pipe\\quillwick-output-taken", PIPE_ACCESS_INBOUND,
                                       PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    QVERIFY(squatter != INVALID_HANDLE_VALUE);
    const auto closeSquatter = qScopeGuard([squatter] { CloseHandle(squatter); });
    for (const bool anotherNameIsFree : {true, false}) {
        OutputFlow::setPipeNamePartsForTesting(
            anotherNameIsFree ? QStringList{QStringLiteral("taken"), QStringLiteral("free")}
                              : QStringList{QStringLiteral("taken")});
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        ShellCommand::prepare(process, QStringLiteral("echo through"));
        auto *flow = new OutputFlow(process);
        QCOMPARE(flow->canHold(), anotherNameIsFree);
        QByteArray output;
        connect(flow, &OutputFlow::readyRead, this, [&] { output += flow->read(); });
        QVERIFY(ProcessTree::start(process).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, kRunEndMs);
        output += flow->read();
        QCOMPARE(output, QByteArray("through\r\n"));
    }
}

void ExecutionWinTest::standardInputIsOpenUntilCtrlZ()
{
    // more without a file reads standard input, which stays open for the user; a typed line
    // reaches it with CR LF, and Ctrl+Z ends its input, as in a console. (Wine's findstr reads
    // no standard input.)
    ui->setRunTimeoutMs(15000);
    ui->executeCommand(consoleRecord(QStringLiteral("more & echo more ended")));
    ui->outputEdit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(ui->outputEdit(), QStringLiteral("x1"));
    QTest::keyClick(ui->outputEdit(), Qt::Key_Return);
    QTest::qWait(300);
    QVERIFY(ui->process());
    QTest::keyClick(ui->outputEdit(), Qt::Key_Z, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), 10000);
    // The typed line, the end of input, and what more made of the line, once.
    const QString output =
        pane().sliced(pane().indexOf(kRule + QStringLiteral("\n\n")) + kRule.size() + 2);
    QVERIFY2(output.startsWith(QStringLiteral("x1\n")) &&
                 output.count(QStringLiteral("x1\n")) == 2 &&
                 output.contains(QStringLiteral("^Z\n")) &&
                 output.endsWith(QStringLiteral("more ended\n") + kFooter),
             qPrintable(pane()));
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
    QVERIFY(!ui->timeOutArmed());
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
        QVERIFY(!ui->timeOutArmed());
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

void ExecutionWinTest::restartCountsOnlyAnInstanceThatIsUp()
{
    // Through the real ShellExecuteEx; Wine has no UAC and starts the program as it is. A program
    // that ends at once stands in for an instance that dies while loading (a missing DLL): the
    // tool must not quit for it. One with a window stands in for an instance that came up.
    if (!showsWindows)
        QSKIP(qPrintable(kNoDisplay));
    QVERIFY(!Elevation::restartElevated(fixture("consolefixture.exe"), files->path(),
                                        quintptr(window->winId())));
    const QList<DWORD> before = processesNamed(L"windowedfixture.exe");
    QVERIFY(Elevation::restartElevated(fixture("windowedfixture.exe"), files->path(),
                                       quintptr(window->winId())));
    QList<DWORD> started = processesNamed(L"windowedfixture.exe");
    for (DWORD old : before)
        started.removeAll(old);
    QCOMPARE(started.size(), 1);
    windowed << started;
    QVERIFY(isRunning(started.first()));
}

void ExecutionWinTest::substDriveIsHandedOverAsItsFolder()
{
    // As `subst Q: C:\windows` makes it, through the real QueryDosDevice (Wine keeps such a
    // definition, though its files do not follow it). What Wine cannot show: that the elevated
    // session indeed lacks the user's SUBST drives.
    QVERIFY(DefineDosDeviceW(0, L"Q:", L"C:\\windows"));
    const QString handedOver = Elevation::elevatedSessionForm(QStringLiteral("Q:\\tools"));
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    QCOMPARE(handedOver, QStringLiteral("C:\\windows\\tools"));
}

QUILLWICK_TEST_MAIN(ExecutionWinTest)
#include "tst_execution_win.moc"

#include "exec/shellcommand.h"
#include "testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// Generous for cmd.exe's first start in a fresh Wine prefix; a passing run takes well under 1 s.
const int kWaitMs = qEnvironmentVariableIntValue("QUILLWICK_TEST_WAIT_MS") > 0
                        ? qEnvironmentVariableIntValue("QUILLWICK_TEST_WAIT_MS")
                        : 30000;

struct Outcome
{
    QString output;
    int exitCode = -1;
};

Outcome run(QProcess &process)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForFinished(kWaitMs)) {
        process.kill();
        process.waitForFinished(kWaitMs);
        return {QStringLiteral("<no end: %1>").arg(process.errorString()), -1};
    }
    const QString output = QString::fromLocal8Bit(process.readAll());
    return {output.trimmed(),
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
}

Outcome runThroughShellCommand(const QString &commandLine)
{
    QProcess process;
    ShellCommand::prepare(process, commandLine);
    return run(process);
}

} // namespace

// The Windows side of the command interpreter seam, run against a real cmd.exe (Wine's on Linux).
class PlatformWinTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultArgumentQuotingMangledInnerQuotes();
    void preparedLineReachesCmdUnchanged();
    void chainRunsAndReturnsItsExitCode();
    void networkWorkingDirectoryNeverReachesCmd_data();
    void networkWorkingDirectoryNeverReachesCmd();
};

void PlatformWinTest::defaultArgumentQuotingMangledInnerQuotes()
{
    // The reason the tool passes native arguments: Qt escapes inner quotes as \" for the C runtime,
    // and cmd.exe, which has no such rule, echoes the backslashes.
    QProcess process;
    process.setProgram(QStringLiteral("cmd.exe"));
    process.setArguments({QStringLiteral("/c"), QStringLiteral("echo \"a b\"")});
    const Outcome outcome = run(process);
    QCOMPARE(outcome.output, QStringLiteral("\\\"a b\\\""));
    QCOMPARE(outcome.exitCode, 0);
}

void PlatformWinTest::preparedLineReachesCmdUnchanged()
{
    const Outcome outcome = runThroughShellCommand(QStringLiteral("echo \"a b\""));
    QCOMPARE(outcome.output, QStringLiteral("\"a b\""));
    QCOMPARE(outcome.exitCode, 0);

    // cmd.exe by its full path, never found by a search.
    QProcess process;
    ShellCommand::prepare(process, QStringLiteral("echo x"));
    const QFileInfo program(process.program());
    QVERIFY2(program.isAbsolute() && program.isFile(), qPrintable(process.program()));
    QCOMPARE(program.fileName().toLower(), QStringLiteral("cmd.exe"));
    QVERIFY(process.arguments().isEmpty());
}

void PlatformWinTest::chainRunsAndReturnsItsExitCode()
{
    const Outcome chained = runThroughShellCommand(QStringLiteral("echo x && exit 3"));
    QCOMPARE(chained.output, QStringLiteral("x"));
    QCOMPARE(chained.exitCode, 3);

    // The second command runs only after the first one succeeded.
    const Outcome stopped = runThroughShellCommand(QStringLiteral("exit 5 && echo never"));
    QCOMPARE(stopped.output, QString());
    QCOMPARE(stopped.exitCode, 5);
}

void PlatformWinTest::networkWorkingDirectoryNeverReachesCmd_data()
{
    // The tool's working directory: after the elevated restart from a mapped drive it is the
    // share's network path. Windows' cmd.exe would warn and run in the Windows folder there;
    // Wine's has no such rule, and no share can be entered here, so a seam stands in for it.
    QTest::addColumn<QString>("toolDirectory");
    QTest::addColumn<bool>("runsInProfile");
    QTest::newRow("mapped drive") << QStringLiteral("Z:/tools") << false;
    QTest::newRow("network path") << QStringLiteral("//server/share/tools") << true;
    QTest::newRow("local") << QStringLiteral("C:/work") << false;
}

void PlatformWinTest::networkWorkingDirectoryNeverReachesCmd()
{
    QFETCH(QString, toolDirectory);
    QFETCH(bool, runsInProfile);
    ShellCommand::setCurrentDirectoryForTesting(toolDirectory);
    QProcess process;
    const QString note = ShellCommand::prepare(process, QStringLiteral("cd"));
    ShellCommand::setCurrentDirectoryForTesting({});
    if (!runsInProfile) {
        QVERIFY(note.isEmpty());
        QVERIFY(process.workingDirectory().isEmpty());
        return;
    }
    const QString profile = QDir::toNativeSeparators(qEnvironmentVariable("USERPROFILE"));
    QCOMPARE(note,
             QStringLiteral("提示: cmd.exe 不支持以网络路径 \\\\server\\share\\tools 作为当前目录，"
                            "命令在 ") +
                 profile + QStringLiteral(" 中执行。\n"));
    // Where cmd.exe says it is.
    QCOMPARE(run(process).output.toLower(), profile.toLower());
}

QUILLWICK_TEST_MAIN(PlatformWinTest)
#include "tst_platform_win.moc"

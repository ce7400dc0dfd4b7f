#include "exec/shellcommand.h"

#include "exec/shellcommand_platform.h"

#include <QDir>
#include <QProcess>

namespace {

QString &programForTesting()
{
    static QString program;
    return program;
}

QString &currentDirectoryForTesting()
{
    static QString directory;
    return directory;
}

} // namespace

namespace ShellCommand {

QString prepare(QProcess &process, const QString &commandLine)
{
    process.setProgram(programForTesting().isEmpty() ? Platform::interpreter()
                                                     : programForTesting());
    Platform::setArguments(process, commandLine);
    // wsl writes UTF-16LE into a pipe unless told otherwise; UTF-8 lines are read as meant.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WSL_UTF8"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);

    const QString current =
        currentDirectoryForTesting().isEmpty() ? QDir::currentPath() : currentDirectoryForTesting();
    const QString elsewhere = Platform::runDirectoryInsteadOf(current);
    if (elsewhere.isEmpty())
        return {};
    process.setWorkingDirectory(elsewhere);
    return QStringLiteral("提示: cmd.exe 不支持以网络路径 %1 作为当前目录，命令在 %2 中执行。\n")
        .arg(QDir::toNativeSeparators(current), elsewhere);
}

bool startDetached(const QString &commandLine, DetachedConsole console)
{
    const bool ownWindow = console == DetachedConsole::OwnWindow;
    QProcess process;
    prepare(process, ownWindow ? Platform::keptOpenOnFailure(commandLine) : commandLine);
    Platform::setDetachedConsole(process, ownWindow);
    return process.startDetached();
}

void setProgramForTesting(const QString &program)
{
    programForTesting() = program;
}

void setCurrentDirectoryForTesting(const QString &directory)
{
    currentDirectoryForTesting() = directory;
}

} // namespace ShellCommand

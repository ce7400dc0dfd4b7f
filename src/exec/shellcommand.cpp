#include "exec/shellcommand.h"

#include "exec/shellcommand_platform.h"

#include <QProcess>

namespace {

QString &programForTesting()
{
    static QString program;
    return program;
}

} // namespace

namespace ShellCommand {

void prepare(QProcess &process, const QString &commandLine)
{
    process.setProgram(programForTesting().isEmpty() ? Platform::interpreter()
                                                     : programForTesting());
    Platform::setArguments(process, commandLine);
    // wsl writes UTF-16LE into a pipe unless told otherwise; UTF-8 lines are read as meant.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WSL_UTF8"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
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

} // namespace ShellCommand

#include "exec/shellcommand.h"

#include <QProcess>

namespace {

QString &programForTesting()
{
    static QString program;
    return program;
}

QString shell()
{
    return programForTesting().isEmpty() ? QStringLiteral("/bin/sh") : programForTesting();
}

} // namespace

namespace ShellCommand {

void prepare(QProcess &process, const QString &commandLine)
{
    process.setProgram(shell());
    process.setArguments({QStringLiteral("-c"), commandLine});
}

bool startDetached(const QString &commandLine)
{
    QProcess process;
    prepare(process, commandLine);
    return process.startDetached();
}

void setProgramForTesting(const QString &program)
{
    programForTesting() = program;
}

} // namespace ShellCommand

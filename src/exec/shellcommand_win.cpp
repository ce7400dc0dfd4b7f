#include "exec/shellcommand.h"

#include <QProcess>

namespace {

QString &programForTesting()
{
    static QString program;
    return program;
}

QString interpreter()
{
    return programForTesting().isEmpty() ? QStringLiteral("cmd.exe") : programForTesting();
}

// QProcess would quote the line as one argument and escape its inner quotes as \", which cmd.exe
// does not understand. With /s, cmd.exe strips exactly the outer pair of quotes and runs the rest
// verbatim, also when the line itself starts with a quote.
QString nativeArguments(const QString &commandLine)
{
    return QStringLiteral("/s /c \"%1\"").arg(commandLine);
}

} // namespace

namespace ShellCommand {

void prepare(QProcess &process, const QString &commandLine)
{
    process.setProgram(interpreter());
    process.setArguments({});
    process.setNativeArguments(nativeArguments(commandLine));
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

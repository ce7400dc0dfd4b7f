#include "exec/shellcommand_platform.h"

#include <QProcess>

namespace ShellCommand::Platform {

QString interpreter()
{
    return QStringLiteral("cmd.exe");
}

// QProcess would quote the line as one argument and escape its inner quotes as \", which cmd.exe
// does not understand. With /s, cmd.exe strips exactly the outer pair of quotes and runs the rest
// verbatim, also when the line itself starts with a quote.
void setArguments(QProcess &process, const QString &commandLine)
{
    process.setArguments({});
    process.setNativeArguments(QStringLiteral("/s /c \"%1\"").arg(commandLine));
}

} // namespace ShellCommand::Platform

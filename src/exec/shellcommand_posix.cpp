#include "exec/shellcommand_platform.h"

#include <QProcess>

namespace ShellCommand::Platform {

QString interpreter()
{
    return QStringLiteral("/bin/sh");
}

void setArguments(QProcess &process, const QString &commandLine)
{
    process.setArguments({QStringLiteral("-c"), commandLine});
}

} // namespace ShellCommand::Platform

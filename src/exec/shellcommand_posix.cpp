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

// /bin/sh works in any folder it can enter.
QString runDirectoryInsteadOf(const QString &)
{
    return {};
}

// No console window to keep open.
QString keptOpenOnFailure(const QString &commandLine)
{
    return commandLine;
}

// A detached program has no console window to show or hide here; a terminal program started
// detached from a desktop gets none either way.
void setDetachedConsole(QProcess &, bool) {}

} // namespace ShellCommand::Platform

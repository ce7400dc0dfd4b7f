#include "exec/shellcommand_platform.h"

#include <QProcess>

#include <windows.h>

namespace ShellCommand::Platform {

// By full path: a search would look in the tool's own folder and the working directory before
// System32, so a cmd.exe placed there would run instead, with administrator rights after the
// elevated restart.
QString interpreter()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    // No program at all rather than a guess: the start then fails and says so.
    if (length == 0 || length >= MAX_PATH)
        return {};
    return QString::fromWCharArray(folder, int(length)) + QStringLiteral("\\cmd.exe");
}

// QProcess would quote the line as one argument and escape its inner quotes as \", which cmd.exe
// does not understand. With /s, cmd.exe strips exactly the outer pair of quotes and runs the rest
// verbatim, also when the line itself starts with a quote. /d keeps a user's AutoRun command from
// running first: its output would land in the pane, and a cd or chcp in it would change what the
// line does.
void setArguments(QProcess &process, const QString &commandLine)
{
    process.setArguments({});
    process.setNativeArguments(QStringLiteral("/d /s /c \"%1\"").arg(commandLine));
}

} // namespace ShellCommand::Platform

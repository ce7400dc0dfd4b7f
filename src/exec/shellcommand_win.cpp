#include "exec/shellcommand_platform.h"

#include <QDir>
#include <QFileInfo>
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

// cmd.exe refuses a network (UNC) path as its current directory: it warns and runs in the Windows
// folder, where relative lines (`takeown /f *.txt /r`, `cipher /e`, `start .`) would act on the
// system's files. The user's profile folder instead, where a console window opens; the folder for
// temporary files where even the profile is on the network.
QString runDirectoryInsteadOf(const QString &directory)
{
    const auto onNetwork = [](const QString &path) {
        return QDir::toNativeSeparators(path).startsWith(QLatin1String("\\\\"));
    };
    if (!onNetwork(directory))
        return {};
    for (const char *variable : {"USERPROFILE", "TEMP"}) {
        const QString folder = qEnvironmentVariable(variable);
        if (!folder.isEmpty() && !onNetwork(folder) && QFileInfo(folder).isDir())
            return QDir::toNativeSeparators(folder);
    }
    return {};
}

// A console window closes as soon as its program ends: a program that fails at once (one that is
// not installed, a missing DLL) would leave only a flash. On failure the window waits for a key.
// Any exit code but 0 is a failure: "errorlevel 1" holds for 1 and above, "not errorlevel 0" for
// the negative codes of a crash or a missing DLL. (Not "||", which Wine's cmd.exe also runs after
// a success, so that tests under Wine see both cases.)
QString keptOpenOnFailure(const QString &commandLine)
{
    return commandLine +
           QStringLiteral(" & if errorlevel 1 (pause) else if not errorlevel 0 pause");
}

// QProcess chooses by the tool's own console: CREATE_NO_WINDOW for Quillwick, which has none, no
// flag at all for a test executable, which has one. The choice is made here instead, the same for
// both. A detached program shares no handle with the tool either: it would otherwise hold the
// tool's standard output (a pipe, when the tool was started by a script) for as long as it runs.
void setDetachedConsole(QProcess &process, bool ownWindow)
{
    process.setCreateProcessArgumentsModifier(
        [ownWindow](QProcess::CreateProcessArguments *arguments) {
            arguments->inheritHandles = false;
            arguments->startupInfo->dwFlags &= ~DWORD(STARTF_USESTDHANDLES);
            arguments->flags &= ~DWORD(CREATE_NO_WINDOW | CREATE_NEW_CONSOLE | DETACHED_PROCESS);
            arguments->flags |= ownWindow ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW;
        });
}

} // namespace ShellCommand::Platform

#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// Administrator rights of the tool's own process. The answer is asked of the system every time;
// nothing is remembered.
namespace Elevation {

// Whether the own process runs elevated; std::nullopt when the system could not be asked.
std::optional<bool> queryElevation();

// Whether the own process runs elevated; a failed query counts as not elevated.
bool isElevated();

// What the system is asked to start with administrator rights, in the form it is handed over.
struct RestartRequest
{
    QString program;
    // The working directory of the new instance.
    QString directory;
    // The native handle of the window the system's consent prompt belongs to (Windows: its HWND),
    // 0 for none.
    quintptr ownerWindow = 0;
};

// Asks the system to start `executable` anew with administrator rights and no arguments, in
// `directory`, on behalf of `ownerWindow`. A path on a mapped network drive is handed over in its
// network (UNC) form: the elevated session does not have the user's drive mappings. Waits until
// the system has answered, with the calling thread's events processed meanwhile; the caller keeps
// its windows from taking input until then. Returns true when the new instance was started, false
// when that failed or was declined.
bool restartElevated(const QString &executable, const QString &directory, quintptr ownerWindow);

// The network form of a native path on a mapped drive ("Z:\tools\a.exe" for a drive mapped to
// "\\server\share": "\\server\share\tools\a.exe"); any other path as it is.
QString networkForm(const QString &nativePath);

// Seams for tests, so that both answers can be tested without elevating anything. An empty
// function restores the system's own answer. The restart fake receives the request exactly as it
// would be handed to the system; the connection fake answers for a drive ("Z:") the network share
// it is mapped to, or an empty string.
void setElevationQueryForTesting(std::function<std::optional<bool>()> query);
void setRestartForTesting(std::function<bool(const RestartRequest &request)> restart);
void setDriveConnectionForTesting(std::function<QString(const QString &drive)> connection);

} // namespace Elevation

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
// `directory`, on behalf of `ownerWindow`. Paths are handed over in the form the elevated session
// can use (elevatedSessionForm). Waits until the system has answered and the new instance is up,
// with the calling thread's events processed meanwhile; the caller keeps its windows from taking
// input until then. Returns true when the new instance was started and is up (Windows: it became
// idle or ran for a moment without ending), false when that failed or was declined.
bool restartElevated(const QString &executable, const QString &directory, quintptr ownerWindow);

// The form of a native path that the elevated session can use, which has neither the user's
// drive mappings nor the user's SUBST drives. On a drive mapped to "\\server\share" the network
// (UNC) form: "Z:\tools\a.exe" becomes "\\server\share\tools\a.exe". On a SUBST drive that stands
// for "C:\work" the same path there: "S:\a.exe" becomes "C:\work\a.exe", resolved again where
// that folder is on such a drive itself. Any other path as it is.
QString elevatedSessionForm(const QString &nativePath);

// Seams for tests, so that both answers can be tested without elevating anything. An empty
// function restores the system's own answer. The restart fake receives the request exactly as it
// would be handed to the system; the connection fake answers for a drive ("Z:") the network share
// it is mapped to, or an empty string; the substitution fake the folder a SUBST drive stands for,
// or an empty string.
void setElevationQueryForTesting(std::function<std::optional<bool>()> query);
void setRestartForTesting(std::function<bool(const RestartRequest &request)> restart);
void setDriveConnectionForTesting(std::function<QString(const QString &drive)> connection);
void setDriveSubstitutionForTesting(std::function<QString(const QString &drive)> substitution);

} // namespace Elevation

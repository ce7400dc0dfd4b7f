#pragma once

#include "exec/elevation.h"

#include <QString>

#include <optional>

// What elevation.cpp asks of the platform; implemented in elevation_win.cpp and
// elevation_posix.cpp.
namespace Elevation::Platform {

std::optional<bool> queryElevation();

// A path in the platform's own notation.
QString nativePath(const QString &path);

// The network share a drive ("Z:") is mapped to, or an empty string for a local or unknown one.
QString driveConnection(const QString &drive);

// The folder a SUBST drive ("S:") stands for ("C:\work"), or an empty string for any other drive.
QString driveSubstitution(const QString &drive);

// Runs on a thread of its own: the system's call may wait for the user's answer, and the new
// instance is waited for until it is up.
bool startElevated(const RestartRequest &request);

} // namespace Elevation::Platform

#pragma once

#include <QString>

#include <optional>

// What elevation.cpp asks of the platform; implemented in elevation_win.cpp and
// elevation_posix.cpp.
namespace Elevation::Platform {

std::optional<bool> queryElevation();

// The executable path in the form the system's elevated start expects.
QString programForRestart(const QString &executable);

bool startElevated(const QString &program);

} // namespace Elevation::Platform

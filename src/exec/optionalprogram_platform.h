#pragma once

#include <QString>

// What optionalprogram.cpp asks of the platform; implemented in optionalprogram_win.cpp and
// optionalprogram_posix.cpp.
namespace OptionalProgramPlatform {

// Whether the system folder holds `path`; true where the system cannot say, so that nothing is
// held back on a guess.
bool isInSystemFolder(const QString &path);

} // namespace OptionalProgramPlatform

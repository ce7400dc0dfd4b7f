#pragma once

// What wmic.cpp asks of the platform; implemented in wmic_win.cpp and wmic_posix.cpp.
namespace Wmic::Platform {

bool isInstalled();

} // namespace Wmic::Platform

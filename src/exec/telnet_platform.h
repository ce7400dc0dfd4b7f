#pragma once

// What telnet.cpp asks of the platform; implemented in telnet_win.cpp and telnet_posix.cpp.
namespace Telnet::Platform {

bool isInstalled();

} // namespace Telnet::Platform

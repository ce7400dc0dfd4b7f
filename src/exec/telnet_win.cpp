#include "exec/telnet_platform.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace Telnet::Platform {

bool isInstalled()
{
    // Where the optional feature puts it, %SystemRoot%\System32; the search path could name
    // another program of that name.
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    // Without an answer nothing is held back.
    if (length == 0 || length >= MAX_PATH)
        return true;
    const QString folder = QDir::fromNativeSeparators(QString::fromWCharArray(system, int(length)));
    return QFileInfo::exists(folder + QStringLiteral("/telnet.exe"));
}

} // namespace Telnet::Platform

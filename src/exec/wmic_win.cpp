#include "exec/wmic_platform.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace Wmic::Platform {

bool isInstalled()
{
    // Where Windows keeps it when the optional feature is installed, %SystemRoot%\System32\wbem;
    // the search path could name another program of that name.
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    // Without an answer nothing is changed.
    if (length == 0 || length >= MAX_PATH)
        return true;
    const QString folder = QDir::fromNativeSeparators(QString::fromWCharArray(system, int(length)));
    return QFileInfo::exists(folder + QStringLiteral("/wbem/WMIC.exe"));
}

} // namespace Wmic::Platform

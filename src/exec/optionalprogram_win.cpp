#include "exec/optionalprogram_platform.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace OptionalProgramPlatform {

bool isInSystemFolder(const QString &path)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return true;
    const QString folder = QDir::fromNativeSeparators(QString::fromWCharArray(system, int(length)));
    return QFileInfo::exists(folder + QLatin1Char('/') + path);
}

} // namespace OptionalProgramPlatform

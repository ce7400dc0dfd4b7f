#include "exec/elevation_platform.h"

#include <QDir>

#include <windows.h>

#include <shellapi.h>

namespace Elevation::Platform {

std::optional<bool> queryElevation()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::nullopt;
    TOKEN_ELEVATION elevation = {};
    DWORD returnedLength = 0;
    const BOOL queried =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returnedLength);
    CloseHandle(token);
    if (!queried)
        return std::nullopt;
    return elevation.TokenIsElevated != 0;
}

QString programForRestart(const QString &executable)
{
    // The framework reports the path with forward slashes; the shell wants backslashes.
    return QDir::toNativeSeparators(executable);
}

bool startElevated(const QString &program)
{
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"runas", reinterpret_cast<LPCWSTR>(program.utf16()), L"", nullptr,
                      SW_SHOWNORMAL));
    // ShellExecute reports success as a value above 32 for compatibility with 16-bit Windows.
    return result > 32;
}

} // namespace Elevation::Platform

#include "exec/elevation_platform.h"

#include <QDir>

#include <iterator>
#include <string>
#include <vector>

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>

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

QString nativePath(const QString &path)
{
    // The framework reports paths with forward slashes; the shell wants backslashes.
    return QDir::toNativeSeparators(path);
}

QString driveConnection(const QString &drive)
{
    const std::wstring local = drive.toStdWString();
    std::vector<wchar_t> remote(MAX_PATH);
    auto size = DWORD(remote.size());
    DWORD result = WNetGetConnectionW(local.c_str(), remote.data(), &size);
    if (result == ERROR_MORE_DATA) {
        remote.resize(size);
        result = WNetGetConnectionW(local.c_str(), remote.data(), &size);
    }
    // A local drive answers ERROR_NOT_CONNECTED; a mapping that is not reachable just now still
    // names its share, which is what the elevated instance has to use.
    if (result != NO_ERROR && result != ERROR_CONNECTION_UNAVAIL)
        return {};
    return QString::fromWCharArray(remote.data());
}

QString driveSubstitution(const QString &drive)
{
    // A SUBST drive names the folder it stands for, "\??\C:\work" or "\??\UNC\server\share";
    // other drives name a device.
    wchar_t target[MAX_PATH * 2];
    if (!QueryDosDeviceW(reinterpret_cast<const wchar_t *>(drive.utf16()), target,
                         DWORD(std::size(target))))
        return {};
    const QString folder = QString::fromWCharArray(target);
    const QLatin1String prefix("\\??\\");
    if (!folder.startsWith(prefix))
        return {};
    const QString path = folder.mid(prefix.size());
    if (path.startsWith(QLatin1String("UNC\\"), Qt::CaseInsensitive))
        return QStringLiteral("\\") + path.mid(3);
    return path;
}

// Whether the started instance is up: it has become idle, waiting for input with its window
// shown, or it has run for a moment without ending. An instance that dies while loading (a
// missing DLL, a crash) is not, and the tool stays. Where the system does not let the tool wait
// on the new instance, only its start is known, as before.
bool isUp(HANDLE process)
{
    constexpr DWORD kIdleWaitMs = 15000;
    constexpr DWORD kMomentMs = 1500;
    if (!process)
        return true;
    if (WaitForInputIdle(process, kIdleWaitMs) == 0)
        return WaitForSingleObject(process, 0) != WAIT_OBJECT_0;
    return WaitForSingleObject(process, kMomentMs) != WAIT_OBJECT_0;
}

bool startElevated(const RestartRequest &request)
{
    // The shell may hand the start to extensions that use COM.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring program = request.program.toStdWString();
    const std::wstring directory = request.directory.toStdWString();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    // The call returns only once the start is done, or declined, and shows no error box of its
    // own: the tool says itself that the restart failed.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    // The consent prompt comes to the front only for the window the user is working in; without
    // one it may just flash in the taskbar.
    info.hwnd = reinterpret_cast<HWND>(request.ownerWindow);
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = L"";
    // Without it the elevated instance may start in System32, where the catalog's lines with
    // relative paths (dir, tree, takeown /f *.txt) would act on the system folder.
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    // The new instance may then put its window in front of this one, which quits.
    AllowSetForegroundWindow(ASFW_ANY);
    bool started = ShellExecuteExW(&info) != FALSE;
    if (SUCCEEDED(com))
        CoUninitialize();
    if (started) {
        started = isUp(info.hProcess);
        if (info.hProcess)
            CloseHandle(info.hProcess);
    }
    return started;
}

} // namespace Elevation::Platform

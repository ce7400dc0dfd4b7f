// A console program for the runner's tests. Without arguments it stands in for ftp and telnet
// started detached: it writes to the file named by QUILLWICK_CONSOLE_REPORT whether it has a
// console window ("console visible", "console hidden") or none ("no console"), and ends; with
// QUILLWICK_CONSOLE_FAIL set it then fails (exit code 3), as a program that cannot run.
//
// With a first argument it is a program of a run, which writes "ready" and waits at most 30 s:
//   interrupt  Ctrl+C makes it write "summary" and end with 3, as ping writes its statistics;
//   ignore     it ignores Ctrl+C;
//   default    Ctrl+C ends it, as it ends most programs;
//   hidden F   it hides its console window, as `Start-Process -WindowStyle Hidden` starts a
//              program, and writes "hidden <process id>" to file F instead of "ready";
//   signal H   it sets the event whose handle value H (decimal) the test made inheritable, and
//              ends at once, writing "signalled" if it inherited that handle.
// Further arguments are not looked at: a copy named like a long program carries its switches.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL WINAPI writeSummary(DWORD event)
{
    if (event != CTRL_C_EVENT)
        return FALSE;
    std::puts("summary");
    std::fflush(stdout);
    ExitProcess(3);
}

int reportConsole()
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"QUILLWICK_CONSOLE_REPORT", path, MAX_PATH))
        return 2;
    HWND console = GetConsoleWindow();
    const char *text = !console                   ? "no console"
                       : IsWindowVisible(console) ? "console visible"
                                                  : "console hidden";
    FILE *file = _wfopen(path, L"w");
    if (!file)
        return 1;
    std::fputs(text, file);
    std::fclose(file);
    return GetEnvironmentVariableW(L"QUILLWICK_CONSOLE_FAIL", path, MAX_PATH) ? 3 : 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
        return reportConsole();
    const wchar_t *mode = argv[1];
    if (wcscmp(mode, L"signal") == 0 && argc > 2) {
        auto *event = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(_wtoi64(argv[2])));
        std::puts(SetEvent(event) ? "signalled" : "not signalled");
        return 0;
    }
    if (wcscmp(mode, L"interrupt") == 0)
        SetConsoleCtrlHandler(writeSummary, TRUE);
    else if (wcscmp(mode, L"ignore") == 0)
        SetConsoleCtrlHandler(nullptr, TRUE);
    if (wcscmp(mode, L"hidden") == 0 && argc > 2) {
        ShowWindow(GetConsoleWindow(), SW_HIDE);
        if (FILE *file = _wfopen(argv[2], L"w")) {
            std::fprintf(file, "hidden %lu", GetCurrentProcessId());
            std::fclose(file);
        }
    } else {
        std::puts("ready");
        std::fflush(stdout);
    }
    Sleep(30000);
    std::puts("no interrupt");
    return 0;
}

// A console program started detached, standing in for ftp and telnet: it writes to the file named
// by QUILLWICK_CONSOLE_REPORT whether it has a console window ("console visible", "console hidden")
// or none ("no console"), and ends; with QUILLWICK_CONSOLE_FAIL set it then fails (exit code 3), as
// a program that cannot run.
#include <windows.h>

#include <cstdio>

int wmain()
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

// A console program started detached, standing in for ftp and telnet: it writes to the file named
// by QUILLWICK_CONSOLE_REPORT whether it has a console window ("console visible", "console hidden")
// or none ("no console"), and ends.
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
    return 0;
}

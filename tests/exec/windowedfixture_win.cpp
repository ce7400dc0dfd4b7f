// A program with a window of its own, like notepad or a printer dialog started by a command line:
// it shows a top-level window, writes "shown <process id>" (or "no window" when the system gave it
// none) to the file named by its argument, and waits, at most a minute, so that a failed test
// leaves nothing behind for long. Plain Win32, as such programs are. With "/hidden " before the
// file name it shows no window, as a program that lives in the notification area or has not
// opened its window yet, and writes "hidden <process id>".
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

void report(const wchar_t *path, const char *text)
{
    if (FILE *file = _wfopen(path, L"w")) {
        std::fputs(text, file);
        std::fclose(file);
    }
}

LRESULT CALLBACK handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR path, int)
{
    char text[32];
    if (wcsncmp(path, L"/hidden ", 8) == 0) {
        std::snprintf(text, sizeof text, "hidden %lu", GetCurrentProcessId());
        report(path + 8, text);
        Sleep(60000);
        return 0;
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = handleMessage;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QuillwickWindowedFixture";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowW(windowClass.lpszClassName, L"Quillwick test window", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!window) {
        report(path, "no window");
        return 1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    std::snprintf(text, sizeof text, "shown %lu", GetCurrentProcessId());
    report(path, text);
    SetTimer(window, 1, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

#ifdef QUILLWICK_CONSOLE_SUBSYSTEM
// The same built as a console program, like a Python Tk script or a PowerShell dialog: a window
// of its own while it is attached to the console of the command that runs it.
int wmain(int argc, wchar_t **argv)
{
    // A script waiting in its window's loop goes on after Ctrl+C in its console.
    SetConsoleCtrlHandler(nullptr, TRUE);
    wchar_t none[] = L"";
    return wWinMain(GetModuleHandleW(nullptr), nullptr, argc > 1 ? argv[1] : none, SW_SHOWNORMAL);
}
#endif

#pragma once

#include <QString>

// How a command line is run: started detached as a graphical tool, or in the output pane with or
// without the time-out. Both look at the line exactly as stored or typed: no trimming, no
// splitting into words, case-sensitive.

// Management consoles (".msc"), control-panel applets (".cpl") anywhere in the line, and a few
// programs named by the whole line.
bool isGuiCommand(const QString &commandLine);

// Of the lines started detached, the console programs that talk with the user ("ftp", "telnet",
// as the whole line): they get a console window of their own, the others none.
bool needsOwnConsole(const QString &commandLine);

// A line that contains both "ping" and "-t", anywhere and independently: it is expected to run
// until stopped, so it is not timed out.
bool isContinuousPing(const QString &commandLine);

// A line that runs a long maintenance program: sfc, dism, chkdsk, defrag, wbadmin, pathping,
// cipher with /w, powercfg with /energy. Such a program may work silently for minutes (a repair,
// a wipe of free space, pathping's statistics, powercfg's minute of observation) and ending it half
// way abandons its work, so it is not timed out. Windows' rules: the first word of the line names
// the program, in any case, with or without ".exe"; its switches start with "/" or "-".
bool isLongRunningProgram(const QString &commandLine);

// A program of a run that is still working, by its file ("C:\Windows\System32\dism.exe",
// "DismHost.exe"; the Linux stand-in's name "sfc") and its own command line: one of the long
// maintenance programs above with the same switch rules, DISM's helper DismHost (which also does
// the work of PowerShell's Repair-WindowsImage) or Microsoft Defender's MpCmdRun. Whatever line
// started it (`cmd /c dism ...`, `echo y | chkdsk D: /f`, a script), the time-out waits on while it
// runs.
bool isLongRunningProcess(const QString &programFile, const QString &commandLine);

// The line the output pane shows once for a line whose program reads only from a console window,
// which the pane cannot type into (ending in "\n"), or an empty string. runas and the password
// prompts of `net user name *` and `net use Z: \\server\share *` read the password from the
// console itself; timeout refuses a standard input that is not a console and ends at once. Most
// programs that ask (choice, pause, set /p, chkdsk's question, copy's and del's) read their
// standard input and are answered in the pane. Windows' rules for the line's first word, as for
// isLongRunningProgram.
QString consoleReaderNote(const QString &commandLine);

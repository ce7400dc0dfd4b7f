#pragma once

#include <QString>

class QProcess;

// The platform's command interpreter: cmd.exe on Windows, /bin/sh as the stand-in elsewhere.
// Every child process of the tool gets its program and arguments from here.
namespace ShellCommand {

// Sets `process` up so that the interpreter runs `commandLine` exactly as stored or typed, as if it
// had been typed after "cmd /c", in the tool's working directory. Where the interpreter cannot
// work there (cmd.exe and a network path: it would run in the Windows folder instead), the line
// runs in the user's profile folder, and the returned line (ending in "\n") says so for the
// output pane; otherwise an empty string.
QString prepare(QProcess &process, const QString &commandLine);

// What a detached start shows besides the program's own windows.
enum class DetachedConsole
{
    // A graphical tool: no console window.
    Hidden,
    // A console program that talks to the user (ftp, telnet): a console window of its own.
    OwnWindow
};

// Starts `commandLine` through the interpreter as a detached process in the tool's working
// directory. Returns false when it could not be started. A console window of its own stays open,
// waiting for a key, when its program fails, so that its message can be read.
bool startDetached(const QString &commandLine, DetachedConsole console);

// Tests put another program in place of the interpreter (one that does not exist, to see a start
// fail); an empty string restores the interpreter.
void setProgramForTesting(const QString &program);

// Tests make the tool's working directory look like `directory` (a network path they cannot
// enter); an empty string restores the real one.
void setCurrentDirectoryForTesting(const QString &directory);

} // namespace ShellCommand

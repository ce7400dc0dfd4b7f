#pragma once

#include <QString>

class QProcess;

// What shellcommand.cpp asks of the platform; implemented in shellcommand_win.cpp and
// shellcommand_posix.cpp.
namespace ShellCommand::Platform {

// The platform's command interpreter.
QString interpreter();

// Sets the arguments of `process`, whose program is already set, so that the interpreter runs
// `commandLine` verbatim.
void setArguments(QProcess &process, const QString &commandLine);

// Where the interpreter runs when the tool's working directory is `directory`: an empty string for
// `directory` itself, or another folder where the interpreter cannot work in `directory`.
QString runDirectoryInsteadOf(const QString &directory);

// `commandLine` changed so that, run in a console window of its own, the window stays open with
// the program's message when the program fails.
QString keptOpenOnFailure(const QString &commandLine);

// Makes the detached start of `process` give the interpreter, and the console program it runs, a
// console window of its own when `ownWindow` is true, and no console window otherwise.
void setDetachedConsole(QProcess &process, bool ownWindow);

} // namespace ShellCommand::Platform

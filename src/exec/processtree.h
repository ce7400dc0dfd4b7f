#pragma once

#include <QIODevice>

class QProcess;

// A child of the command interpreter together with every program it starts: `ping -t` started
// by a chain, a `timeout`, a background `sleep`. Ending the interpreter alone would leave those
// running, so a stopped, timed-out or replaced run ends them all through here.
namespace ProcessTree {

// Starts the already prepared `process` so that it and the programs it starts can be ended
// together. Programs that outlive a command that ended by itself (`start notepad.exe`) keep
// running.
void start(QProcess &process, QIODevice::OpenMode mode = QIODevice::ReadWrite);

// Ends `process` and every program it started that still runs. Does nothing once the process
// has ended.
void kill(QProcess &process);

} // namespace ProcessTree

#include "exec/processtree.h"

#include <QProcess>

#include <signal.h>
#include <unistd.h>

namespace ProcessTree {

void start(QProcess &process, QIODevice::OpenMode mode)
{
    // Its own process group: one signal to the group reaches the shell and all its programs.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(mode);
    // Also from this side, in case kill() comes before the child got to its own setpgid; fails
    // harmlessly once the child has called exec.
    if (const qint64 pid = process.processId(); pid > 0)
        ::setpgid(static_cast<pid_t>(pid), static_cast<pid_t>(pid));
}

void kill(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    process.kill();
}

} // namespace ProcessTree

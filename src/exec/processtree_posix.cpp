#include "exec/processtree.h"

#include <QProcess>
#include <QSignalBlocker>

#include <cerrno>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::optional<ProcessTree::SetUpStep> &failingStep()
{
    static std::optional<ProcessTree::SetUpStep> step;
    return step;
}

// Whether the shell has ended, without reaping it: QProcess does that, and reports the end later.
bool hasEnded(pid_t pid)
{
    siginfo_t info = {};
    // __WALL: whichever way QProcess created the child, it is seen here.
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT | __WALL) == -1)
        return errno == ECHILD;
    return info.si_pid == pid;
}

} // namespace

namespace ProcessTree {

QString start(QProcess &process, QIODevice::OpenMode mode)
{
    // Its own process group: one signal to the group reaches the shell and all its programs. No
    // step can fail here the way Windows' can; a test's failing step ends the child before it
    // runs the shell, so that the window's handling of the failure is tested here too.
    const bool fail = failingStep().has_value();
    process.setChildProcessModifier([fail] {
        if (fail)
            ::_exit(127);
        ::setpgid(0, 0);
    });
    process.start(mode);
    const qint64 pid = process.processId();
    if (pid <= 0)
        return {};
    // Also from this side, in case kill() comes before the child got to its own setpgid; fails
    // harmlessly once the child has called exec.
    ::setpgid(static_cast<pid_t>(pid), static_cast<pid_t>(pid));
    if (!fail)
        return {};
    const QSignalBlocker quiet(process);
    process.waitForFinished();
    return QStringLiteral("%1 refused by the test")
        .arg(*failingStep() == SetUpStep::JoinTree ? QStringLiteral("setpgid")
                                                   : QStringLiteral("resume"));
}

bool kill(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return false;
    const qint64 pid = process.processId();
    if (pid <= 0 || hasEnded(static_cast<pid_t>(pid)))
        return false;
    ::kill(-static_cast<pid_t>(pid), SIGKILL);
    process.kill();
    return true;
}

void setFailingStepForTesting(std::optional<SetUpStep> step)
{
    failingStep() = step;
}

// Nothing is looked at before the process group is ended.
void setRefusesExaminingForTesting(std::function<bool(quint32)>) {}

} // namespace ProcessTree

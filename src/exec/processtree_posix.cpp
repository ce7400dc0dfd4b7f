#include "exec/processtree.h"

#include "exec/commandkind.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalBlocker>

#include <cerrno>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The run's process group, kept on the QProcess: QProcess forgets the child's id once it has
// reported the end, while programs of the group may still run.
constexpr char kGroupProperty[] = "quillwickProcessGroup";

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

pid_t groupOf(const QProcess &process)
{
    return static_cast<pid_t>(process.property(kGroupProperty).toLongLong());
}

// The interpreter, while it runs and has not ended by itself; 0 otherwise.
pid_t runningInterpreter(const QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return 0;
    const auto pid = static_cast<pid_t>(process.processId());
    return pid > 0 && !hasEnded(pid) ? pid : 0;
}

// A program's name (the file it was started from, as the kernel keeps it) and its arguments, if
// it belongs to process group `group`.
struct GroupMember
{
    QString name;
    QString arguments;
};

std::optional<GroupMember> memberOf(const QString &pid, pid_t group)
{
    QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!statFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "pid (name) state ppid pgrp ...": the name may hold blanks and parentheses.
    const QByteArray stat = statFile.readAll();
    const qsizetype nameStart = stat.indexOf('(');
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameStart < 0 || nameEnd < nameStart)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    // An ended program waiting to be reaped runs no more.
    if (fields.size() < 3 || fields.at(0) == "Z" || fields.at(2).toLongLong() != group)
        return std::nullopt;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QByteArray arguments;
    if (commandLine.open(QIODevice::ReadOnly))
        arguments = commandLine.readAll().replace('\0', ' ');
    return GroupMember{QString::fromLocal8Bit(stat.mid(nameStart + 1, nameEnd - nameStart - 1)),
                       QString::fromLocal8Bit(arguments)};
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
    process.setProperty(kGroupProperty, pid);
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

bool interrupt(QProcess &process)
{
    const pid_t pid = runningInterpreter(process);
    if (pid == 0)
        return false;
    return ::kill(-pid, SIGINT) == 0;
}

void endLeftovers(QProcess &process, Leftovers which)
{
    // No console here whose close would end a program.
    if (which == Leftovers::InRunsConsole)
        return;
    if (const pid_t group = groupOf(process); group > 0)
        ::kill(-group, SIGKILL);
}

bool runsLongProgram(QProcess &process)
{
    const pid_t group = groupOf(process);
    if (group <= 0)
        return false;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        if (!pid.front().isDigit())
            continue;
        if (const std::optional<GroupMember> member = memberOf(pid, group);
            member && isLongRunningProcess(member->name, member->arguments))
            return true;
    }
    return false;
}

void setFailingStepForTesting(std::optional<SetUpStep> step)
{
    failingStep() = step;
}

// Nothing is looked at before the process group is ended.
void setRefusesExaminingForTesting(std::function<bool(quint32)>) {}

} // namespace ProcessTree

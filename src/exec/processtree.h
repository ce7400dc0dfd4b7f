#pragma once

#include <QIODevice>
#include <QString>

#include <functional>
#include <optional>

class QProcess;

// A child of the command interpreter together with every program it starts: `ping -t` started
// by a chain, a `timeout`, a background `sleep`. Ending the interpreter alone would leave those
// running, so a stopped, timed-out or replaced run ends them all through here.
namespace ProcessTree {

// Starts the already prepared `process` so that it and the programs it starts can be ended
// together. Programs that outlive a command that ended by itself (`start notepad.exe`) keep
// running. Returns an empty string, or why the child could not be made ready to run: it has then
// been ended again without having run, `process` is not running and has emitted nothing. A child
// that QProcess itself cannot start is reported by QProcess (errorOccurred) as usual.
QString start(QProcess &process, QIODevice::OpenMode mode = QIODevice::ReadWrite);

// Ends `process` and the console programs it started; on Windows the user's programs keep
// running, with what they started themselves: a graphical program (a dialog, notepad, also before
// its window shows), a console program in a console window of its own, one the tool may not look
// at (an elevated one), and the console host that serves one of them. Returns false and
// ends nothing when the process is not running or has already ended by itself, even if QProcess
// has not noticed yet: then what it started is kept, as after any command that ended by itself.
bool kill(QProcess &process);

// Sends the run the interrupt that Ctrl+C typed in its console window would send, so that a
// program can say or finish what it does on Ctrl+C (ping's statistics, DISM rolling back): on
// Windows a CTRL_C_EVENT to the run's own hidden console only, which the tool ignores itself for
// its whole life without its later children ignoring Ctrl+C; elsewhere SIGINT to the run's
// process group. Returns false, sending nothing, when the interpreter is not running or has
// already ended by itself, or when the run's console cannot be reached: then only kill() ends it.
bool interrupt(QProcess &process);

// What endLeftovers() ends.
enum class Leftovers
{
    // After a run whose interpreter ended by itself: the console programs still attached to the
    // run's own hidden console, which closing a console window would have ended (`start /b ping
    // -t`, a helper that outlived its launcher). The user's programs are spared as kill() spares
    // them. Elsewhere nothing: there is no console to close.
    InRunsConsole,
    // After a run whose interpreter ended on an interrupt, or whose grace is over: everything
    // kill() would have ended, although the interpreter itself is gone.
    AllButUsers
};

// Ends what is left of a run after its interpreter has ended, also once QProcess has reported
// the end, for as long as the QProcess object exists.
void endLeftovers(QProcess &process, Leftovers which);

// Whether a program of the run that still runs is one of the long maintenance programs
// (isLongRunningProcess), whatever the line's first word: the time-out then starts its count
// again instead of ending the run.
bool runsLongProgram(QProcess &process);

// What must succeed after the child is created before it may run: joining the tree (Windows: the
// job object; elsewhere the process group) and, on Windows, resuming its suspended first thread.
enum class SetUpStep
{
    JoinTree,
    Resume
};

// Tests make `step` fail for every later start, as the system would refuse it; std::nullopt
// restores the real steps.
void setFailingStepForTesting(std::optional<SetUpStep> step);

// Windows: tests make the programs for which `refuses` answers true refuse to be looked at, as an
// elevated program refuses a standard user's tool; an empty function restores the system's
// answers. Elsewhere nothing is looked at.
void setRefusesExaminingForTesting(std::function<bool(quint32 processId)> refuses);

} // namespace ProcessTree

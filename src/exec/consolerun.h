#pragma once

#include "catalog/commandcatalog.h"
#include "exec/consoledecoder.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QProcess;

// One command line of the output pane, run in a child interpreter from its start to its end: the
// child with its output flow and a decoder of its own, the idle time-out, the stop and the
// time-out (which end the console programs the command started but spare the user's), and the
// message that closes the run. It writes nothing itself: it reports to its owner through the
// callbacks below, and only until it has reported its end. A run is used once; the next command
// is a new ConsoleRun.
class ConsoleRun : public QObject
{
public:
    struct Settings
    {
        // How long a run may go without output before it is ended.
        int timeoutMs = 60000;
        // The code page the child's 8-bit output is read in; 0 for the console's.
        unsigned codePage = 0;
    };

    // What keeps a run from hanging for ever.
    enum class Guard
    {
        // Ended once it has been quiet for the time-out.
        IdleTimeOut,
        // A continuous ping: runs until stopped.
        ContinuousPing,
        // A long maintenance program: may be silent for minutes, runs until stopped.
        LongProgram
    };

    ConsoleRun(const QString &commandLine, const Settings &settings, QObject *parent);
    ~ConsoleRun() override;

    // The child's output, decoded, in order.
    std::function<void(const QString &text)> output;
    // The child has written nothing for a moment and its last line has no end yet (a prompt):
    // how that line reads so far. It is output that may still change: the next output, or the
    // line the user sends, comes with the whole line.
    std::function<void(const QString &line)> provisional;
    // The child has ended and all its output was reported; endMessage() says how.
    std::function<void()> ended;
    // The interpreter could not be started; `reason` is the process layer's text. Nothing else is
    // reported then.
    std::function<void(const QString &reason)> startFailed;

    // Starts the child. A failure may be reported before this returns.
    void start();
    Guard guard() const { return runGuard; }
    // Lines for the pane after the run's notice: where the run works when that is not where the
    // tool was started, output that cannot be held back, a program the pane cannot type into.
    QString notes() const { return startNotes; }

    // While held, nothing more is read from the child, which then waits at its full pipe.
    void hold();
    void release();

    // The child's standard input stays open while it runs, as a console's does. A line the user
    // typed reaches it with the console's line end; so does the end of input (Ctrl+Z), after
    // what was typed before it. Both count as activity for the time-out.
    bool acceptsInput() const;
    void sendLine(const QString &line);
    void endInput(const QString &typed);

    // The user's stop: the console's interrupt (Ctrl+C) first, and what has not ended after a
    // grace is ended; a second stop during the grace ends it at once. False when there is no
    // child left to stop: the run never started, or it has ended and reported so.
    bool stop();
    // The time-out: as a stop, and said so in the end message; but while a long maintenance
    // program of the run works, the count starts again.
    void timeOut();
    // For a run that the next one replaces: interrupts and ends the child within `waitMs`; its
    // end is reported inside the wait, or, if it does not come, as a stop right after it.
    void endWithin(int waitMs);
    // For a window that goes away: nothing more is reported; the child is interrupted and ended
    // within `waitMs`.
    void abandon(int waitMs);

    bool hasEnded() const { return ending.has_value(); }
    // Written after the run's output once it has ended: how it ended, and why a wmic line failed
    // where WMIC is missing.
    QString endMessage() const { return ending.value_or(QString()); }
    // A run asked for while this one's output was still being shown: it starts once this one has
    // closed.
    std::optional<CommandInfo> nextRun;

    QProcess *process() const { return child; }
    QTimer *timeoutTimer() { return &idleTimer; }
    // A line the decoder still holds, as it would read if it ended now.
    QString undecidedText() const { return consoleDecoder.undecidedText(); }
    // For a pane that was emptied: what the child wrote before must not appear after it.
    void discardUndecided();

private:
    QString decodeConsoleOutput(const QByteArray &bytes);
    void readOutput();
    void writeInput(const QString &text);
    void onFinished(int exitCode);
    void reportEnd(int exitCode);
    void failToStart(const QString &reason);
    bool isOpen() const;
    // Interrupts the child, or ends it where the interrupt cannot be sent; sets `endedBy`
    // (stoppedByUser or timedOut) when either reached it.
    void interrupt(bool &endedBy);
    // Ends what is left of the run at once; false when the interpreter had ended by itself.
    bool endRest();

    const QString commandLine;
    const Settings settings;
    QProcess *child = nullptr;
    QTimer idleTimer;
    // Runs while the child is quiet; see provisional.
    QTimer quietTimer;
    // The grace of an interrupted run.
    QTimer graceTimer;
    bool interrupting = false;
    QString startNotes;
    Guard runGuard = Guard::IdleTimeOut;
    bool timedOut = false;
    bool stoppedByUser = false;
    bool failed = false;
    std::optional<QString> ending;
    ConsoleDecoder consoleDecoder;
};

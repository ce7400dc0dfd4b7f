#include "exec/consolerun.h"

#include "exec/commandkind.h"
#include "exec/consoleinput.h"
#include "exec/outputflow.h"
#include "exec/processtree.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"

#include <QProcess>

#include <utility>

namespace {

// How long the child must be quiet before a line without an end is shown as it reads so far.
constexpr int kQuietMs = 50;
// How long an interrupted run may take to end by itself; a long maintenance program rolls its
// work back first (DISM), which takes longer.
constexpr int kGraceMs = 2000;
constexpr int kLongGraceMs = 30000;

} // namespace

ConsoleRun::ConsoleRun(const QString &commandLine, const Settings &settings, QObject *parent)
    : QObject(parent)
    , commandLine(commandLine)
    , settings(settings)
    // Each run is read from its own start: not in the mode or with half a character of the last.
    , consoleDecoder(settings.codePage ? ConsoleDecoder(settings.codePage) : ConsoleDecoder())
{
    idleTimer.setSingleShot(true);
    quietTimer.setSingleShot(true);
    quietTimer.setInterval(kQuietMs);
    graceTimer.setSingleShot(true);
    connect(&graceTimer, &QTimer::timeout, this, [this] {
        if (isOpen())
            endRest();
    });
    connect(&quietTimer, &QTimer::timeout, this, [this] {
        if (const QString line = consoleDecoder.undecidedText(); !line.isEmpty() && provisional)
            provisional(line);
    });
}

ConsoleRun::~ConsoleRun()
{
    // A run that goes away hears nothing more from its child.
    if (child)
        disconnect(child, nullptr, this, nullptr);
}

void ConsoleRun::start()
{
    child = new QProcess(this);
    child->setProcessChannelMode(QProcess::MergedChannels);
    startNotes = ShellCommand::prepare(*child, commandLine);
    auto *flow = new OutputFlow(*child);
    if (!flow->canHold())
        startNotes += RunText::unheldOutputNote();
    startNotes += consoleReaderNote(commandLine);
    connect(flow, &OutputFlow::readyRead, this, [this] { readOutput(); });
    connect(child, &QProcess::finished, this, [this](int exitCode) { onFinished(exitCode); });
    connect(child, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failToStart(child->errorString());
    });
    const QString setUpFailure = ProcessTree::start(*child, QIODevice::ReadWrite);
    // On Windows a failed start is reported inside start().
    if (failed)
        return;
    if (!setUpFailure.isEmpty()) {
        failToStart(setUpFailure);
        return;
    }
    if (isContinuousPing(commandLine))
        runGuard = Guard::ContinuousPing;
    else if (isLongRunningProgram(commandLine))
        runGuard = Guard::LongProgram;
    else
        idleTimer.start(settings.timeoutMs);
}

void ConsoleRun::hold()
{
    if (!child || hasEnded())
        return;
    OutputFlow::of(*child)->hold();
    // A line cut by the pause is no prompt.
    quietTimer.stop();
}

void ConsoleRun::release()
{
    if (!child || hasEnded())
        return;
    OutputFlow::of(*child)->release();
    quietTimer.start();
}

void ConsoleRun::discardUndecided()
{
    consoleDecoder.discardUndecided();
    quietTimer.stop();
}

bool ConsoleRun::acceptsInput() const
{
    // What is typed before the child has quite started waits for it in QProcess.
    return child && !hasEnded() && !failed && child->state() != QProcess::NotRunning &&
           child->isWritable();
}

void ConsoleRun::sendLine(const QString &line)
{
    writeInput(line + QLatin1Char('\n'));
}

void ConsoleRun::endInput(const QString &typed)
{
    writeInput(typed);
    if (acceptsInput())
        child->closeWriteChannel();
}

void ConsoleRun::writeInput(const QString &text)
{
    if (!acceptsInput())
        return;
    // The prompt the user answered is shown as it stands; what the child writes next starts
    // after the answer, as in a console.
    if (const QString prompt = consoleDecoder.undecidedText(); !prompt.isEmpty()) {
        consoleDecoder.discardUndecided();
        if (output)
            output(prompt);
    }
    if (idleTimer.isActive())
        idleTimer.start(settings.timeoutMs);
    if (!text.isEmpty())
        child->write(ConsoleInput::encode(text, settings.codePage));
}

QString ConsoleRun::decodeConsoleOutput(const QByteArray &bytes)
{
    // One decoder for the run: a character or line split between two reads is completed by the
    // next read.
    return consoleDecoder.decode(bytes);
}

void ConsoleRun::readOutput()
{
    if (hasEnded() || failed)
        return;
    const QByteArray bytes = OutputFlow::of(*child)->read();
    if (bytes.isEmpty())
        return;
    // The time-out ends a run that has gone quiet, not one that is still working.
    if (idleTimer.isActive())
        idleTimer.start(settings.timeoutMs);
    quietTimer.start();
    if (const QString text = decodeConsoleOutput(bytes); !text.isEmpty() && output)
        output(text);
}

void ConsoleRun::onFinished(int exitCode)
{
    if (hasEnded() || failed)
        return;
    graceTimer.stop();
    readOutput();
    // What an interrupted command left running is ended as a stop ends it; a command that ended
    // by itself loses what a console window's close would have ended, and keeps the rest.
    ProcessTree::endLeftovers(*child, interrupting ? ProcessTree::Leftovers::AllButUsers
                                                   : ProcessTree::Leftovers::InRunsConsole);
    reportEnd(exitCode);
}

void ConsoleRun::reportEnd(int exitCode)
{
    idleTimer.stop();
    quietTimer.stop();
    if (const QString rest = consoleDecoder.finish(); !rest.isEmpty() && output)
        output(rest);
    RunText::Ending how = RunText::Ending::Exited;
    if (timedOut)
        how = RunText::Ending::TimedOut;
    else if (stoppedByUser)
        how = RunText::Ending::StoppedByUser;
    ending = Wmic::missingNote(commandLine) + RunText::endMessage(how, exitCode);
    if (ended)
        ended();
}

void ConsoleRun::failToStart(const QString &reason)
{
    if (failed || hasEnded())
        return;
    failed = true;
    idleTimer.stop();
    quietTimer.stop();
    if (startFailed)
        startFailed(reason);
}

bool ConsoleRun::isOpen() const
{
    return child && !hasEnded() && !failed && child->state() != QProcess::NotRunning;
}

// A stop or time-out that comes when the interpreter has already ended by itself ends nothing,
// and the run closes as a normal end when QProcess reports it. Otherwise the run first gets the
// console's interrupt, as Ctrl+C in a console window: ping prints its statistics, DISM rolls its
// work back, a program removes its temporary files. What has not ended after the grace is ended.
void ConsoleRun::interrupt(bool &endedBy)
{
    if (!ProcessTree::interrupt(*child)) {
        if (endRest())
            endedBy = true;
        return;
    }
    endedBy = true;
    interrupting = true;
    idleTimer.stop();
    const bool longWork = runGuard == Guard::LongProgram || ProcessTree::runsLongProgram(*child);
    graceTimer.start(longWork ? kLongGraceMs : kGraceMs);
}

bool ConsoleRun::endRest()
{
    graceTimer.stop();
    if (ProcessTree::kill(*child))
        return true;
    // The interpreter is gone; an interrupted one may have left programs behind.
    if (interrupting)
        ProcessTree::endLeftovers(*child, ProcessTree::Leftovers::AllButUsers);
    return false;
}

bool ConsoleRun::stop()
{
    if (!isOpen())
        return false;
    // A second stop during the grace ends the rest at once.
    if (interrupting)
        endRest();
    else
        interrupt(stoppedByUser);
    return true;
}

void ConsoleRun::timeOut()
{
    if (!isOpen() || interrupting)
        return;
    // Long work whatever the line's first word (`cmd /c dism ...`, a script that runs sfc): the
    // count starts again while such a program runs.
    if (ProcessTree::runsLongProgram(*child)) {
        idleTimer.start(settings.timeoutMs);
        return;
    }
    interrupt(timedOut);
}

void ConsoleRun::endWithin(int waitMs)
{
    if (!child || hasEnded() || failed)
        return;
    // The interrupt first, then the end, within the wait; the child's end is delivered inside
    // it, with the last of its output.
    if (isOpen() && !interrupting && ProcessTree::interrupt(*child)) {
        stoppedByUser = true;
        interrupting = true;
        child->waitForFinished(waitMs / 2);
    }
    if (!hasEnded()) {
        if (endRest())
            stoppedByUser = true;
        child->waitForFinished(waitMs / 2);
    }
    if (!hasEnded()) {
        stoppedByUser = true;
        reportEnd(0);
    }
}

void ConsoleRun::abandon(int waitMs)
{
    output = nullptr;
    provisional = nullptr;
    ended = nullptr;
    startFailed = nullptr;
    idleTimer.stop();
    graceTimer.stop();
    if (!child || child->state() == QProcess::NotRunning)
        return;
    // Its last output and end must not reach what is being destroyed.
    disconnect(child, nullptr, this, nullptr);
    if (!interrupting && ProcessTree::interrupt(*child))
        child->waitForFinished(waitMs / 2);
    if (child->state() != QProcess::NotRunning)
        ProcessTree::kill(*child);
    else
        ProcessTree::endLeftovers(*child, ProcessTree::Leftovers::AllButUsers);
    child->waitForFinished(waitMs / 2);
}

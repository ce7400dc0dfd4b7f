#include "exec/consolerun.h"

#include "exec/commandkind.h"
#include "exec/outputflow.h"
#include "exec/processtree.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"

#include <QProcess>

#include <utility>

ConsoleRun::ConsoleRun(const QString &commandLine, const Settings &settings, QObject *parent)
    : QObject(parent)
    , commandLine(commandLine)
    , settings(settings)
    // Each run is read from its own start: not in the mode or with half a character of the last.
    , consoleDecoder(settings.codePage ? ConsoleDecoder(settings.codePage) : ConsoleDecoder())
{
    idleTimer.setSingleShot(true);
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
    ShellCommand::prepare(*child, commandLine);
    auto *flow = new OutputFlow(*child);
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
    // Nobody can type into the child: programs that ask for input (time, date, sort, choice, a
    // bare cmd) read end-of-file and end instead of waiting until the time-out.
    child->closeWriteChannel();

    if (isContinuousPing(commandLine))
        runGuard = Guard::ContinuousPing;
    else if (isLongRunningProgram(commandLine))
        runGuard = Guard::LongProgram;
    else
        idleTimer.start(settings.timeoutMs);
}

void ConsoleRun::hold()
{
    if (child && !hasEnded())
        OutputFlow::of(*child)->hold();
}

void ConsoleRun::release()
{
    if (child && !hasEnded())
        OutputFlow::of(*child)->release();
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
    if (const QString text = decodeConsoleOutput(bytes); !text.isEmpty() && output)
        output(text);
}

void ConsoleRun::onFinished(int exitCode)
{
    if (hasEnded() || failed)
        return;
    readOutput();
    reportEnd(exitCode);
}

void ConsoleRun::reportEnd(int exitCode)
{
    idleTimer.stop();
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
    if (startFailed)
        startFailed(reason);
}

// A stop or time-out that comes when the interpreter has already ended by itself ends nothing,
// and the run closes as a normal end when QProcess reports it.
bool ConsoleRun::stop()
{
    if (!child || hasEnded() || child->state() == QProcess::NotRunning)
        return false;
    if (ProcessTree::kill(*child))
        stoppedByUser = true;
    return true;
}

void ConsoleRun::timeOut()
{
    if (!child || hasEnded() || child->state() == QProcess::NotRunning)
        return;
    if (ProcessTree::kill(*child))
        timedOut = true;
}

void ConsoleRun::endWithin(int waitMs)
{
    if (!child || hasEnded() || failed)
        return;
    if (ProcessTree::kill(*child))
        stoppedByUser = true;
    // The child's end is delivered inside the wait, with the last of its output.
    child->waitForFinished(waitMs);
    if (!hasEnded()) {
        stoppedByUser = true;
        reportEnd(0);
    }
}

void ConsoleRun::abandon(int waitMs)
{
    output = nullptr;
    ended = nullptr;
    startFailed = nullptr;
    idleTimer.stop();
    if (!child || child->state() == QProcess::NotRunning)
        return;
    // Its last output and end must not reach what is being destroyed.
    disconnect(child, nullptr, this, nullptr);
    ProcessTree::kill(*child);
    child->waitForFinished(waitMs);
}

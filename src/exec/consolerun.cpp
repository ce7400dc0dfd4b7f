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
    readOutput();
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
    provisional = nullptr;
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

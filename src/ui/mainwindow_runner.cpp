#include "ui/mainwindow.h"

#include "exec/commandkind.h"
#include "exec/processtree.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>

#include <utility>

// The console runner of the output pane. Every handler of a child's signal is told which child
// sent it and ignores any child but the one of the open run, so that a replaced or closed run
// cannot write into the next one or change its status, stop button or timer.

namespace {

const QString kReady = QStringLiteral("就绪");

// How long a new run waits for the child of the run it replaces to end.
constexpr int kReplacedChildWaitMs = 1000;

// A line of the pane longer than this is costly to extend; see queueOutput.
constexpr int kLongLine = 16 * 1024;
// Longest pause between two insertions of a long line's chunks.
constexpr qint64 kLongestFlushDelayMs = 250;

// The user may have moved the cursor or typed into the pane; output still goes to the end.
void insertAtEnd(QPlainTextEdit *edit, const QString &text)
{
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(text);
    edit->moveCursor(QTextCursor::End);
    edit->ensureCursorVisible();
}

} // namespace

void MainWindow::startConsoleProcess(const CommandInfo &info)
{
    timedOut = false;
    stoppedByUser = false;
    runNote = Wmic::missingNote(info.command);

    auto *child = new QProcess(this);
    process = child;
    child->setProcessChannelMode(QProcess::MergedChannels);
    ShellCommand::prepare(*child, info.command);
    connect(child, &QProcess::readyReadStandardOutput, this,
            [this, child] { onProcessOutput(child); });
    connect(child, &QProcess::finished, this,
            [this, child](int exitCode) { onProcessFinished(child, exitCode); });
    connect(child, &QProcess::errorOccurred, this, [this, child](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onProcessStartFailed(child, child->errorString());
    });
    const QString setUpFailure = ProcessTree::start(*child, QIODevice::ReadWrite);
    // On Windows a failed start is reported inside start() and has already closed the run.
    if (process != child)
        return;
    if (!setUpFailure.isEmpty()) {
        onProcessStartFailed(child, setUpFailure);
        return;
    }
    // Nobody can type into the child: programs that ask for input (time, date, sort, choice, a
    // bare cmd) read end-of-file and end instead of waiting until the time-out.
    child->closeWriteChannel();

    if (isContinuousPing(info.command)) {
        timeoutTimer->stop();
        appendOutput(QStringLiteral("正在执行持续ping测试，按停止按钮可中断...\n\n"));
    } else {
        timeoutTimer->start(runTimeoutMs);
    }
}

void MainWindow::onProcessOutput(QProcess *child)
{
    if (child != process)
        return;
    const QByteArray bytes = child->readAllStandardOutput();
    if (!bytes.isEmpty())
        queueOutput(decodeConsoleOutput(bytes));
}

void MainWindow::onProcessFinished(QProcess *child, int exitCode)
{
    if (child != process)
        return;
    onProcessOutput(child);
    if (!runNote.isEmpty())
        appendOutput(runNote);
    RunText::Ending ending = RunText::Ending::Exited;
    if (timedOut)
        ending = RunText::Ending::TimedOut;
    else if (stoppedByUser)
        ending = RunText::Ending::StoppedByUser;
    const QString message = RunText::endMessage(ending, exitCode);
    if (!message.isEmpty())
        appendOutput(message);
    finishExecution();
}

void MainWindow::onProcessStartFailed(QProcess *child, const QString &reason)
{
    if (child != process)
        return;
    appendOutput(RunText::startFailure(reason));
    finishExecution();
}

// A stop or time-out that comes when the interpreter has already ended by itself ends nothing,
// and the run closes as a normal end when QProcess reports it.
void MainWindow::onRunTimedOut()
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    if (ProcessTree::kill(*process))
        timedOut = true;
}

void MainWindow::stopCommand()
{
    if (process && process->state() != QProcess::NotRunning) {
        if (ProcessTree::kill(*process))
            stoppedByUser = true;
        return;
    }
    finishExecution();
}

void MainWindow::interruptOpenRun()
{
    if (!process)
        return;
    QProcess *child = process;
    if (ProcessTree::kill(*child))
        stoppedByUser = true;
    // The child's end is delivered inside the wait and closes its run in full (remaining output,
    // message, footer) before the caller writes the next header.
    child->waitForFinished(kReplacedChildWaitMs);
    if (process == child) {
        appendOutput(RunText::endMessage(RunText::Ending::StoppedByUser, 0));
        finishExecution();
    }
}

void MainWindow::finishExecution()
{
    appendOutput(RunText::footer());
    statusLabel->setText(kReady);
    stopBtn->setEnabled(false);
    if (process) {
        // A closed run hears nothing more from its child.
        disconnect(process, nullptr, this, nullptr);
        process->deleteLater();
        process = nullptr;
    }
    timeoutTimer->stop();
}

void MainWindow::appendOutput(const QString &text)
{
    // Whatever the child printed before comes first.
    flushOutput();
    insertAtEnd(outputEdit, text);
}

void MainWindow::queueOutput(const QString &text)
{
    // The pane lays out its whole last line again on every insertion. For ordinary output that
    // is cheap and each chunk is shown at once. A child that prints one very long line in many
    // small chunks would make that cost quadratic in the line's length, so while the last line is
    // long, chunks are gathered and shown together after a pause as long as the last insertion
    // took: the line still grows live, and the event loop keeps running between insertions.
    pendingOutput += text;
    const bool extendsLongLine = !text.contains(QLatin1Char('\n')) &&
                                 outputEdit->document()->lastBlock().length() > kLongLine;
    if (!extendsLongLine) {
        flushOutput();
        return;
    }
    if (!outputFlushTimer->isActive())
        outputFlushTimer->start(outputFlushDelayMs);
}

void MainWindow::flushOutput()
{
    outputFlushTimer->stop();
    if (pendingOutput.isEmpty())
        return;
    const QString text = std::exchange(pendingOutput, QString());
    QElapsedTimer cost;
    cost.start();
    insertAtEnd(outputEdit, text);
    outputFlushDelayMs = int(qMin<qint64>(cost.elapsed(), kLongestFlushDelayMs));
}

QString MainWindow::decodeConsoleOutput(const QByteArray &bytes)
{
    // One decoder for the window's whole life: a character split between two reads is completed
    // by the next read.
    return consoleDecoder.decode(bytes);
}

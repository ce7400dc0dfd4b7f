#include "ui/mainwindow.h"

#include "exec/commandkind.h"
#include "exec/processtree.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

// The console runner of the output pane. Every handler of a child's signal is told which child
// sent it and ignores any child but the one of the open run, so that a replaced or closed run
// cannot write into the next one or change its status, stop button or timer.

namespace {

const QString kReady = QStringLiteral("就绪");

// How long a new run waits for the child of the run it replaces to end.
constexpr int kReplacedChildWaitMs = 1000;

} // namespace

void MainWindow::startConsoleProcess(const CommandInfo &info)
{
    timedOut = false;
    stoppedByUser = false;

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
            onProcessStartFailed(child);
    });
    ProcessTree::start(*child, QIODevice::ReadWrite);
    // On Windows a failed start is reported inside start() and has already closed the run.
    if (process != child)
        return;
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
        appendOutput(decodeConsoleOutput(bytes));
}

void MainWindow::onProcessFinished(QProcess *child, int exitCode)
{
    if (child != process)
        return;
    onProcessOutput(child);
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

void MainWindow::onProcessStartFailed(QProcess *child)
{
    if (child != process)
        return;
    appendOutput(RunText::startFailure(child->errorString()));
    finishExecution();
}

void MainWindow::onRunTimedOut()
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    timedOut = true;
    ProcessTree::kill(*process);
}

void MainWindow::stopCommand()
{
    if (process && process->state() != QProcess::NotRunning) {
        stoppedByUser = true;
        ProcessTree::kill(*process);
        return;
    }
    finishExecution();
}

void MainWindow::interruptOpenRun()
{
    if (!process)
        return;
    QProcess *child = process;
    stoppedByUser = true;
    ProcessTree::kill(*child);
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
    // The user may have moved the cursor or typed into the pane; output still goes to the end.
    outputEdit->moveCursor(QTextCursor::End);
    outputEdit->insertPlainText(text);
    outputEdit->moveCursor(QTextCursor::End);
    outputEdit->ensureCursorVisible();
}

QString MainWindow::decodeConsoleOutput(const QByteArray &bytes)
{
    // One decoder for the window's whole life: a character split between two reads is completed
    // by the next read.
    return consoleDecoder.decode(bytes);
}

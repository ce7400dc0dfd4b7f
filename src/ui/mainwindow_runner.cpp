#include "ui/mainwindow.h"

#include "exec/consolerun.h"
#include "exec/runtext.h"
#include "ui/outputstream.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <utility>

// The console runner of the output pane: the wiring between the open run (ConsoleRun: the child,
// its decoding, time-out and stop) and the pane's stream (OutputStream: what is shown and when),
// and what only the window does: the status text and the stop button. Every handler is told
// which run it is for and ignores any but the open one, so that a replaced or closed run cannot
// write into the next one or change its status, stop button or timer.

namespace {

// How long a new run waits for the child of the run it replaces to end.
constexpr int kReplacedChildWaitMs = 1000;

} // namespace

void MainWindow::startConsoleProcess(const CommandInfo &info)
{
    auto *started = new ConsoleRun(info.command, runSettings, this);
    run = started;
    started->output = [this, started](const QString &text) {
        if (run == started)
            onProcessOutput(text);
    };
    started->provisional = [this, started](const QString &line) {
        if (run == started)
            outputStream->showProvisional(line);
    };
    started->ended = [this, started] {
        if (run == started)
            onProcessFinished();
    };
    started->startFailed = [this, started](const QString &reason) {
        if (run == started)
            onProcessStartFailed(reason);
    };
    connect(started->timeoutTimer(), &QTimer::timeout, this, [this] { onRunTimedOut(); });
    started->start();
    // A failed start has already closed the run.
    if (run != started)
        return;
    outputStream->setInputOpen(true);
    if (started->guard() == ConsoleRun::Guard::ContinuousPing)
        appendOutput(QStringLiteral("正在执行持续ping测试，按停止按钮可中断...\n\n"));
    else if (started->guard() == ConsoleRun::Guard::LongProgram)
        appendOutput(QStringLiteral("此命令可能需要较长时间，按停止按钮可中断...\n\n"));
    if (const QString notes = started->notes(); !notes.isEmpty())
        appendOutput(notes);
}

void MainWindow::onProcessOutput(const QString &text)
{
    outputStream->queue(text);
}

void MainWindow::onProcessFinished()
{
    outputStream->setInputOpen(false);
    // Output that still waits to be shown comes first; the run closes once it is in the pane.
    if (outputStream->isDrained())
        closeEndedRun();
}

void MainWindow::closeEndedRun()
{
    const QString message = run->endMessage();
    const std::optional<CommandInfo> next = std::exchange(run->nextRun, std::nullopt);
    if (!message.isEmpty())
        appendOutput(message);
    finishExecution();
    if (next)
        executeCommand(*next);
}

void MainWindow::onProcessStartFailed(const QString &reason)
{
    appendOutput(RunText::startFailure(reason));
    finishExecution();
}

void MainWindow::onRunTimedOut()
{
    if (run)
        run->timeOut();
}

void MainWindow::stopCommand()
{
    // The command ended by itself; its output is still being shown, a slice at a time, and the
    // run closes after it. A run waiting for it is not started.
    if (run && run->hasEnded()) {
        run->nextRun.reset();
        if (outputStream->isDrained())
            closeEndedRun();
        return;
    }
    if (run && run->stop())
        return;
    finishExecution();
}

bool MainWindow::interruptOpenRun()
{
    if (run && !run->hasEnded())
        run->endWithin(kReplacedChildWaitMs);
    // Its end may have closed it already.
    if (!run)
        return true;
    // Output that still waits is shown a slice at a time, as always; the run closes after it.
    if (!outputStream->isDrained())
        return false;
    closeEndedRun();
    return true;
}

void MainWindow::finishExecution()
{
    appendOutput(RunText::footer());
    statusLabel->setText(QStringLiteral("就绪"));
    stopBtn->setEnabled(false);
    if (ConsoleRun *closed = std::exchange(run, nullptr)) {
        closed->timeoutTimer()->stop();
        closed->deleteLater();
    }
    // The run's last output and footer are told at once.
    outputStream->endRun();
}

void MainWindow::appendOutput(const QString &text)
{
    outputStream->append(text);
}

QString MainWindow::receivedOutputText() const
{
    // A line that the decoder holds until it ends was received too.
    return outputStream->receivedText(run ? run->undecidedText() : QString());
}

#include "ui/mainwindow.h"

#include "exec/commandkind.h"
#include "exec/outputflow.h"
#include "exec/processtree.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"
#include "ui/accessibleoutput.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <optional>
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
// Output is inserted in pieces of at least this many characters, each ending a line, so that the
// budget is checked often.
constexpr qsizetype kPieceLength = 2048;
// How often a streaming pane shows what it was given; about 30 frames a second.
constexpr qint64 kFrameMs = 33;

// The user may have moved the cursor or typed into the pane; output still goes to the end.
void insertAtEnd(QPlainTextEdit *edit, const QString &text)
{
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(text);
    edit->moveCursor(QTextCursor::End);
    edit->ensureCursorVisible();
}

// The child's current line is the pane's last line: every text of the tool's own ends its line.
void applyToLastLine(QTextCursor &cursor, const ConsoleLines::Edit &change)
{
    if (change.text.isEmpty())
        return;
    const QTextBlock last = cursor.document()->lastBlock();
    cursor.setPosition(last.position() + std::min(change.column, qsizetype(last.length() - 1)));
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(change.text);
}

} // namespace

void MainWindow::startConsoleProcess(const CommandInfo &info)
{
    timedOut = false;
    stoppedByUser = false;
    runNote = Wmic::missingNote(info.command);
    // Each run is read from its own start: not in the mode or with half a character of the last.
    consoleDecoder = runCodePage ? ConsoleDecoder(runCodePage) : ConsoleDecoder();

    auto *child = new QProcess(this);
    process = child;
    child->setProcessChannelMode(QProcess::MergedChannels);
    ShellCommand::prepare(*child, info.command);
    auto *output = new OutputFlow(*child);
    connect(output, &OutputFlow::readyRead, this, [this, child] { onProcessOutput(child); });
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

    timeoutTimer->stop();
    if (isContinuousPing(info.command))
        appendOutput(QStringLiteral("正在执行持续ping测试，按停止按钮可中断...\n\n"));
    else if (isLongRunningProgram(info.command))
        appendOutput(QStringLiteral("此命令可能需要较长时间，按停止按钮可中断...\n\n"));
    else
        timeoutTimer->start(runTimeoutMs);
}

void MainWindow::onProcessOutput(QProcess *child)
{
    if (child != process)
        return;
    const QByteArray bytes = OutputFlow::of(*child)->read();
    if (bytes.isEmpty())
        return;
    // The time-out ends a run that has gone quiet, not one that is still working.
    if (timeoutTimer->isActive())
        timeoutTimer->start(runTimeoutMs);
    queueOutput(decodeConsoleOutput(bytes));
}

void MainWindow::onProcessFinished(QProcess *child, int exitCode)
{
    if (child != process)
        return;
    onProcessOutput(child);
    if (const QString rest = consoleDecoder.finish(); !rest.isEmpty())
        queueOutput(rest);
    RunText::Ending ending = RunText::Ending::Exited;
    if (timedOut)
        ending = RunText::Ending::TimedOut;
    else if (stoppedByUser)
        ending = RunText::Ending::StoppedByUser;
    endedRunMessage = runNote + RunText::endMessage(ending, exitCode);
    // Output that still waits to be shown comes first; the run closes once it is in the pane.
    if (pendingStart == pendingOutput.size())
        closeEndedRun();
}

void MainWindow::closeEndedRun()
{
    const QString message = *std::exchange(endedRunMessage, std::nullopt);
    if (!message.isEmpty())
        appendOutput(message);
    finishExecution();
    if (nextRun)
        executeCommand(*std::exchange(nextRun, std::nullopt));
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
    // The command ended by itself; its output is still being shown, a slice at a time, and the
    // run closes after it. A run waiting for it is not started.
    if (endedRunMessage) {
        nextRun.reset();
        if (pendingStart == pendingOutput.size())
            closeEndedRun();
        return;
    }
    if (process && process->state() != QProcess::NotRunning) {
        if (ProcessTree::kill(*process))
            stoppedByUser = true;
        return;
    }
    finishExecution();
}

bool MainWindow::interruptOpenRun()
{
    if (!process)
        return true;
    if (!endedRunMessage) {
        QProcess *child = process;
        if (ProcessTree::kill(*child))
            stoppedByUser = true;
        // The child's end is delivered inside the wait, with the last of its output.
        child->waitForFinished(kReplacedChildWaitMs);
        if (process != child)
            return true;
        if (!endedRunMessage) {
            appendOutput(RunText::endMessage(RunText::Ending::StoppedByUser, 0));
            finishExecution();
            return true;
        }
    }
    // Output that still waits is shown a slice at a time, as always; the run closes after it.
    if (pendingStart != pendingOutput.size())
        return false;
    closeEndedRun();
    return true;
}

void MainWindow::finishExecution()
{
    endedRunMessage.reset();
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
    // The run's last output and footer are told at once.
    accessibleOutput->endStream();
}

void MainWindow::appendOutput(const QString &text)
{
    // Whatever the child printed before comes first.
    flushOutput();
    insertAtEnd(outputEdit, text);
    consoleLines.reset();
}

void MainWindow::queueOutput(const QString &text)
{
    // The pane lays out its whole last line again on every insertion. For ordinary output that
    // is cheap and each chunk is shown at once. A child that prints one very long line in many
    // small chunks would make that cost quadratic in the line's length, so while the last line is
    // long, chunks are gathered and shown together after a pause as long as the last insertion
    // took: the line still grows live, and the event loop keeps running between insertions.
    if (pendingStart > pendingOutput.size() / 2) {
        // What was shown goes, so that output waiting for long does not grow without bound.
        pendingOutput.remove(0, pendingStart);
        pendingStart = 0;
    }
    pendingOutput += text;
    const bool extendsLongLine =
        !text.contains(QLatin1Char('\n')) && consoleLines.currentLine().size() > kLongLine;
    if (!extendsLongLine) {
        insertPendingOutput(outputBudgetMs);
        return;
    }
    if (!outputFlushTimer->isActive())
        outputFlushTimer->start(outputFlushDelayMs);
}

void MainWindow::flushOutput()
{
    insertPendingOutput(std::numeric_limits<qint64>::max());
}

void MainWindow::insertPendingOutput(qint64 budgetMs)
{
    outputFlushTimer->stop();
    if (pendingStart == pendingOutput.size())
        return;
    QElapsedTimer elapsed;
    elapsed.start();

    // The pane lays out its last screenful and repaints after every change it hears of. While a
    // fast child streams, that happens once a frame rather than once a slice: in between, the
    // layout's signals are held back and the pane is told of the new size and content at once.
    QAbstractTextDocumentLayout *layout = outputEdit->document()->documentLayout();
    std::optional<QSignalBlocker> quietLayout;
    const bool frameDue = !sinceOutputShown.isValid() || sinceOutputShown.hasExpired(kFrameMs);
    if (!frameDue)
        quietLayout.emplace(layout);

    QTextCursor cursor(outputEdit->document());
    cursor.beginEditBlock();
    const QStringView pending(pendingOutput);
    do {
        const qsizetype lineEnd = pending.indexOf(
            QLatin1Char('\n'), std::min(pendingStart + kPieceLength, pending.size()) - 1);
        const qsizetype end = lineEnd < 0 ? pending.size() : lineEnd + 1;
        applyToLastLine(cursor,
                        consoleLines.feed(pending.sliced(pendingStart, end - pendingStart)));
        pendingStart = end;
    } while (pendingStart < pending.size() && elapsed.elapsed() < budgetMs);
    cursor.endEditBlock();

    const bool drained = pendingStart == pendingOutput.size();
    if (quietLayout && drained) {
        quietLayout.reset();
        emit layout->documentSizeChanged(layout->documentSize());
        emit layout->update();
    }
    if (!quietLayout) {
        outputEdit->moveCursor(QTextCursor::End);
        outputEdit->ensureCursorVisible();
        sinceOutputShown.start();
    }
    outputFlushDelayMs = int(qMin<qint64>(elapsed.elapsed(), kLongestFlushDelayMs));

    if (!drained) {
        // The rest follows once the event loop has run, in order and still live. Meanwhile the
        // child waits at its full pipe instead of piling up more output.
        outputFlushTimer->start(0);
        if (process && !endedRunMessage)
            OutputFlow::of(*process)->hold();
        return;
    }
    pendingOutput.clear();
    pendingStart = 0;
    if (endedRunMessage)
        closeEndedRun();
    else if (process)
        OutputFlow::of(*process)->release();
}

QString MainWindow::decodeConsoleOutput(const QByteArray &bytes)
{
    // One decoder for the run: a character or line split between two reads is completed by the
    // next read.
    return consoleDecoder.decode(bytes);
}

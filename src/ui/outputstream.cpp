#include "ui/outputstream.h"

#include "ui/accessibleoutput.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <optional>

namespace {

// A line of the pane longer than this is costly to extend; see queue().
constexpr int kLongLine = 16 * 1024;
// Longest pause between two insertions of a long line's chunks.
constexpr qint64 kLongestFlushDelayMs = 250;
// Output is inserted in pieces of at least this many characters, each ending a line, so that the
// budget is checked often.
constexpr qsizetype kPieceLength = 2048;
// A piece of a line without a line end is at most this long: about what one read of the child
// brings.
constexpr qsizetype kLongestPiece = 64 * 1024;
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

OutputStream::OutputStream(QPlainTextEdit *pane)
    : QObject(pane)
    , pane(pane)
    , accessibleOutput(new AccessibleOutput(pane))
{
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, [this] { insertPending(budgetMs); });
}

void OutputStream::beginRun()
{
    accessibleOutput->beginStream();
}

void OutputStream::endRun()
{
    accessibleOutput->endStream();
}

void OutputStream::append(const QString &text)
{
    // Whatever the child printed before comes first.
    flush();
    insertAtEnd(pane, text);
    consoleLines.reset();
}

void OutputStream::queue(const QString &text)
{
    // The pane lays out its whole last line again on every insertion. For ordinary output that
    // is cheap and each chunk is shown at once. A child that prints one very long line in many
    // small chunks would make that cost quadratic in the line's length, so while the last line is
    // long, chunks are gathered and shown together after a pause as long as the last insertion
    // took: the line still grows live, and the event loop keeps running between insertions.
    if (pendingStart > pending.size() / 2) {
        // What was shown goes, so that output waiting for long does not grow without bound.
        pending.remove(0, pendingStart);
        pendingStart = 0;
    }
    pending += text;
    const bool extendsLongLine =
        !text.contains(QLatin1Char('\n')) && consoleLines.currentLine().size() > kLongLine;
    if (!extendsLongLine) {
        insertPending(budgetMs);
        return;
    }
    // Gathered output waits as any other: the child with it, at its full pipe.
    if (!flushTimer.isActive())
        flushTimer.start(flushDelayMs);
    if (holdChild)
        holdChild(true);
}

qsizetype OutputStream::pieceEnd() const
{
    const QStringView waiting(pending);
    const qsizetype lineEnd = waiting.indexOf(
        QLatin1Char('\n'), std::min(pendingStart + kPieceLength, waiting.size()) - 1);
    if (lineEnd >= 0 && lineEnd - pendingStart < kLongestPiece)
        return lineEnd + 1;
    if (waiting.size() - pendingStart <= kLongestPiece)
        return waiting.size();
    // A line without an end, cut between two characters.
    qsizetype end = pendingStart + kLongestPiece;
    if (waiting[end - 1].isHighSurrogate())
        --end;
    return end;
}

void OutputStream::insertPending(qint64 budget)
{
    flushTimer.stop();
    if (isDrained())
        return;
    QElapsedTimer elapsed;
    elapsed.start();

    // The pane lays out its last screenful and repaints after every change it hears of. While a
    // fast child streams, that happens once a frame rather than once a slice: in between, the
    // layout's signals are held back and the pane is told of the new size and content at once.
    QAbstractTextDocumentLayout *layout = pane->document()->documentLayout();
    std::optional<QSignalBlocker> quietLayout;
    const bool frameDue = !sinceShown.isValid() || sinceShown.hasExpired(kFrameMs);
    if (!frameDue)
        quietLayout.emplace(layout);

    QTextCursor cursor(pane->document());
    cursor.beginEditBlock();
    const QStringView waiting(pending);
    do {
        const qsizetype end = pieceEnd();
        applyToLastLine(cursor,
                        consoleLines.feed(waiting.sliced(pendingStart, end - pendingStart)));
        pendingStart = end;
    } while (pendingStart < waiting.size() && elapsed.elapsed() < budget);
    cursor.endEditBlock();

    const bool shownAll = isDrained();
    if (quietLayout && shownAll) {
        quietLayout.reset();
        emit layout->documentSizeChanged(layout->documentSize());
        emit layout->update();
    }
    if (!quietLayout) {
        pane->moveCursor(QTextCursor::End);
        pane->ensureCursorVisible();
        sinceShown.start();
    }
    flushDelayMs = int(qMin<qint64>(elapsed.elapsed(), kLongestFlushDelayMs));

    if (!shownAll) {
        // The rest follows once the event loop has run, in order and still live; the rest of a
        // long line after a pause, see queue(). Meanwhile the child waits at its full pipe
        // instead of piling up more output.
        flushTimer.start(consoleLines.currentLine().size() > kLongLine ? flushDelayMs : 0);
        if (holdChild)
            holdChild(true);
        return;
    }
    pending.clear();
    pendingStart = 0;
    if (holdChild)
        holdChild(false);
    if (drained)
        drained();
}

QString OutputStream::receivedText(const QString &undecided) const
{
    QString text = pane->toPlainText();
    const QString waiting = pending.sliced(pendingStart) + undecided;
    if (waiting.isEmpty())
        return text;
    ConsoleLines lines = consoleLines;
    const ConsoleLines::Edit change = lines.feed(waiting);
    const qsizetype lastLine = text.lastIndexOf(QLatin1Char('\n')) + 1;
    text.truncate(lastLine + std::min(change.column, text.size() - lastLine));
    return text + change.text;
}

void OutputStream::clear()
{
    flushTimer.stop();
    pending.clear();
    pendingStart = 0;
    consoleLines.reset();
    pane->clear();
    // A held child writes on; a run that ended while its output waited can close.
    if (holdChild)
        holdChild(false);
    if (drained)
        drained();
}

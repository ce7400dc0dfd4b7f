#include "ui/outputstream.h"

#include "ui/accessibleoutput.h"
#include "ui/outputfile.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <optional>

namespace {

// The text box lays out a whole block again whenever it changes, so a console line of megabytes
// in one block would make every insertion at its end cost as much as the whole line. A line longer
// than this goes on in further blocks, each marked as the continuation of the one before; the
// breaks between them are not part of the text that is copied or saved. Where the pane's rows
// are known, a block holds whole rows, so that the line looks unbroken.
constexpr int kRowBlock = 16 * 1024;
constexpr int kContinuedLine = 1;
// Output is inserted in pieces of at least this many characters, each ending a line, so that the
// budget is checked often; a piece of a line without a line end holds at most one block.
constexpr qsizetype kPieceLength = 2048;
constexpr qsizetype kLongestPiece = kRowBlock;
// How often a streaming pane shows what it was given; about 30 frames a second.
constexpr qint64 kFrameMs = 33;

// How many characters of a line `block` takes before the line goes on in the next block.
int blockCapacity(const QTextBlock &block)
{
    const QTextLayout *layout = block.layout();
    const int rowLength = layout && layout->lineCount() > 1 ? layout->lineAt(0).textLength() : 0;
    return rowLength > 0 && rowLength < kRowBlock ? kRowBlock / rowLength * rowLength : kRowBlock;
}

// Puts `text` in place of the selection of `cursor`, which ends a line's output, in blocks of at
// most their capacity. Returns how many continuation blocks were made.
int insertRows(QTextCursor &cursor, QStringView text)
{
    // Ordinary output: no line reaches the capacity, and the text replaces the selection at once.
    const auto fits = [&] {
        const int from = cursor.selectionStart();
        qsizetype lineStart = -(from - cursor.document()->findBlock(from).position());
        for (qsizetype end = 0; end >= 0; lineStart = end + 1) {
            end = text.indexOf(QLatin1Char('\n'), std::max<qsizetype>(lineStart, 0));
            if ((end < 0 ? text.size() : end) - lineStart > kRowBlock / 2)
                return false;
        }
        return true;
    };
    if (fits()) {
        cursor.insertText(text.toString());
        return 0;
    }
    cursor.removeSelectedText();
    int continued = 0;
    while (!text.isEmpty()) {
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
        QStringView segment = lineEnd < 0 ? text : text.first(lineEnd);
        for (;;) {
            const QTextBlock block = cursor.block();
            qsizetype room =
                std::max(0, blockCapacity(block) - (cursor.position() - block.position()));
            if (room < segment.size() && room > 0 && segment[room - 1].isHighSurrogate())
                --room;
            const QStringView part = segment.first(std::min(room, segment.size()));
            if (!part.isEmpty())
                cursor.insertText(part.toString());
            segment = segment.sliced(part.size());
            if (segment.isEmpty())
                break;
            cursor.insertBlock();
            cursor.block().setUserState(kContinuedLine);
            ++continued;
        }
        if (lineEnd < 0)
            break;
        cursor.insertBlock();
        text = text.sliced(lineEnd + 1);
    }
    return continued;
}

} // namespace

OutputStream::OutputStream(QPlainTextEdit *pane)
    : QObject(pane)
    , pane(pane)
    , accessibleOutput(new AccessibleOutput(pane))
{
    inputStart = QTextCursor(pane->document());
    // What the user types at the start of the input line belongs to it, not to the output.
    inputStart.setKeepPositionOnInsert(true);
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, [this] { insertPending(budgetMs); });
    pane->installEventFilter(this);
}

void OutputStream::beginRun()
{
    accessibleOutput->beginStream();
    // What was typed while no run was open is text of the pane, before the run.
    inputStart.movePosition(QTextCursor::End);
    runOpen = true;
}

void OutputStream::endRun()
{
    runOpen = false;
    inputOpen = false;
    accessibleOutput->endStream();
}

void OutputStream::append(const QString &text)
{
    // Whatever the child printed before comes first.
    flush();
    retractProvisional();
    QTextCursor cursor(pane->document());
    const qsizetype shown = consoleLines.currentLine().size();
    applyToOutputLine(cursor, {shown, text}, shown);
    consoleLines.reset();
    showEnd();
}

void OutputStream::showEnd()
{
    // The user may have moved the cursor or typed into the pane; the view follows the output.
    pane->moveCursor(QTextCursor::End);
    pane->ensureCursorVisible();
}

bool OutputStream::applyToOutputLine(QTextCursor &cursor, const ConsoleLines::Edit &change,
                                     qsizetype shownLength)
{
    const int from = positionOf(change.column, shownLength);
    if (from == outputEnd() && change.text.isEmpty())
        return false;
    replaceOutput(cursor, from, change.text);
    return true;
}

int OutputStream::outputEnd()
{
    // With no run open, output goes to the very end, after anything typed.
    if (!runOpen)
        inputStart.movePosition(QTextCursor::End);
    return inputStart.position();
}

int OutputStream::positionOf(qsizetype column, qsizetype shownLength)
{
    const int end = outputEnd();
    qsizetype back = shownLength - std::min(column, shownLength);
    // Back from the line's end to the column, across the blocks the line goes on in; no further
    // than the line's start, should the user have shortened it.
    int from = end;
    for (QTextBlock block = pane->document()->findBlock(end); back > 0;) {
        const int inBlock = from - block.position();
        if (back <= inBlock) {
            from -= int(back);
            break;
        }
        back -= inBlock;
        from = block.position();
        if (block.userState() != kContinuedLine || !block.previous().isValid())
            break;
        block = block.previous();
        from = block.position() + block.length() - 1;
    }
    return from;
}

void OutputStream::replaceOutput(QTextCursor &cursor, int from, QStringView text)
{
    cursor.setPosition(from);
    cursor.setPosition(outputEnd(), QTextCursor::KeepAnchor);
    continuedBlocks += insertRows(cursor, text);
    inputStart.setPosition(cursor.position());
}

void OutputStream::showProvisional(const QString &line)
{
    // Output still waiting comes first; a line shown now would be replaced at once.
    if (!isDrained())
        return;
    retractProvisional();
    ConsoleLines lines = consoleLines;
    const ConsoleLines::Edit change = lines.feed(line);
    // It may end a line and begin the next: a line that waits for what follows its end.
    QTextCursor cursor(pane->document());
    provisionalColumn = change.column;
    provisionalFrom = positionOf(change.column, consoleLines.currentLine().size());
    replaceOutput(cursor, provisionalFrom, change.text);
    showEnd();
}

void OutputStream::retractProvisional()
{
    if (provisionalColumn < 0)
        return;
    QTextCursor cursor(pane->document());
    replaceOutput(cursor, provisionalFrom,
                  QStringView(consoleLines.currentLine()).sliced(provisionalColumn));
    provisionalColumn = -1;
}

QString OutputStream::inputText() const
{
    // Only the position of inputStart counts: its anchor moves with text typed there.
    QTextCursor typed(pane->document());
    typed.setPosition(inputStart.position());
    typed.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    return typed.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

void OutputStream::echoInput(const QString &ending)
{
    // What the run printed before the answer, the answered prompt too, comes before it.
    flush();
    retractProvisional();
    QTextCursor end(pane->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ending);
    inputStart.setPosition(end.position());
    consoleLines.reset();
    showEnd();
}

bool OutputStream::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != pane || event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    // A selection across the blocks of one long line is copied as that line.
    if (key->matches(QKeySequence::Copy) && continuedBlocks > 0 &&
        pane->textCursor().hasSelection()) {
        const QTextCursor selection = pane->textCursor();
        QGuiApplication::clipboard()->setText(selectionAsPlainText(
            textBetween(selection.selectionStart(), selection.selectionEnd())));
        return true;
    }
    // Only in the input line: elsewhere the keys edit the pane's text.
    if (!inputOpen || pane->textCursor().selectionStart() < inputStart.position())
        return false;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        modifiers == Qt::NoModifier) {
        const QString line = inputText();
        if (lineEntered)
            lineEntered(line);
        echoInput(QStringLiteral("\n"));
        return true;
    }
    if (key->key() == Qt::Key_Z && modifiers == Qt::ControlModifier) {
        const QString typed = inputText();
        inputOpen = false;
        if (inputEnded)
            inputEnded(typed);
        // As a console echoes it.
        echoInput(QStringLiteral("^Z\n"));
        return true;
    }
    return false;
}

void OutputStream::queue(const QString &text)
{
    if (pendingStart > pending.size() / 2) {
        // What was shown goes, so that output waiting for long does not grow without bound.
        pending.remove(0, pendingStart);
        pendingStart = 0;
    }
    pending += text;
    insertPending(budgetMs);
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

    retractProvisional();
    QTextCursor cursor(pane->document());
    cursor.beginEditBlock();
    const QStringView waiting(pending);
    do {
        const qsizetype end = pieceEnd();
        const qsizetype shown = consoleLines.currentLine().size();
        applyToOutputLine(
            cursor, consoleLines.feed(waiting.sliced(pendingStart, end - pendingStart)), shown);
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
        showEnd();
        sinceShown.start();
    }

    if (!shownAll) {
        // The rest follows once the event loop has run, in order and still live. Meanwhile the
        // child waits at its full pipe instead of piling up more output.
        flushTimer.start(0);
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

QString OutputStream::textBetween(int from, int to) const
{
    return asReceived(pane->toPlainText(), from, to);
}

QString OutputStream::asReceived(const QString &paneText, int from, int to) const
{
    QString text = paneText.sliced(from, to - from);
    if (continuedBlocks == 0)
        return text;
    // Without the breaks between the blocks of one line, last to first.
    const QTextDocument *document = pane->document();
    for (QTextBlock block = document->findBlock(to); block.isValid() && block.position() > from;
         block = block.previous()) {
        if (block.userState() == kContinuedLine)
            text.remove(block.position() - 1 - from, 1);
    }
    return text;
}

QString OutputStream::receivedText(const QString &undecided) const
{
    const QString paneText = pane->toPlainText();
    const int end = runOpen ? inputStart.position() : int(paneText.size());
    // A provisional line is part of what the decoder still holds: the line as it stood before.
    QString text = provisionalColumn < 0 ? asReceived(paneText, 0, end)
                                         : asReceived(paneText, 0, provisionalFrom) +
                                               consoleLines.currentLine().sliced(provisionalColumn);
    const qsizetype lastLine = text.lastIndexOf(QLatin1Char('\n')) + 1;
    const QString waiting = pending.sliced(pendingStart) + undecided;
    if (!waiting.isEmpty()) {
        ConsoleLines lines = consoleLines;
        const ConsoleLines::Edit change = lines.feed(waiting);
        text.truncate(lastLine + std::min(change.column, text.size() - lastLine));
        text += change.text;
    }
    return text + asReceived(paneText, end, int(paneText.size()));
}

void OutputStream::clear()
{
    flushTimer.stop();
    pending.clear();
    pendingStart = 0;
    consoleLines.reset();
    provisionalColumn = -1;
    continuedBlocks = 0;
    pane->clear();
    inputStart.setPosition(0);
    // A held child writes on; a run that ended while its output waited can close.
    if (holdChild)
        holdChild(false);
    if (drained)
        drained();
}

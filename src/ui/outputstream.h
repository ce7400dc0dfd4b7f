#pragma once

#include "exec/consolelines.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <limits>

class AccessibleOutput;
class QPlainTextEdit;

// Everything between the text of a run and the output pane: the child output waiting to be
// shown, inserted a slice at a time within a time budget so that the window keeps repainting and
// hearing "停止执行" while a fast child streams; the layout and repaint once a frame instead of
// once a slice; the gathering of a very long line's chunks; the console line rules; a line shown
// before it has ended (a prompt); the input line; what accessibility clients hear of it. Text of
// the tool's own (headers, notices, footers) is shown at once, after the child output before it.
//
// While a run is open, what the user types after its output is the input line, as at a console:
// output that arrives meanwhile goes before it, Return sends it and Ctrl+Z ends the input. Typing
// anywhere else edits the pane's text.
//
// It tells its owner through the callbacks below, which may start or end a run: they are called
// with the stream in a consistent state.
class OutputStream : public QObject
{
public:
    // Made a child of `pane`.
    explicit OutputStream(QPlainTextEdit *pane);

    // Wanted: the child's output held back (true), so that a child faster than the pane waits at
    // its full pipe as at a console, instead of piling up output; or read on (false).
    std::function<void(bool hold)> holdChild;
    // All child output given so far is shown (also after a clear dropped it).
    std::function<void()> drained;
    // The user sent the input line with Return; it stays in the pane, followed by a line break.
    std::function<void(const QString &line)> lineEntered;
    // The user ended the input with Ctrl+Z, after `typed`, which was not followed by Return.
    std::function<void(const QString &typed)> inputEnded;

    // A run's output follows from here on, with an input line after it. Accessibility clients
    // hear of it from its header on at a bounded rate, and of the rest at once when it ends.
    void beginRun();
    void endRun();
    // Whether Return and Ctrl+Z in the input line reach the run: while its child reads.
    void setInputOpen(bool open) { inputOpen = open; }

    // Text of the tool's own, which ends its lines: shown at once, after all waiting output.
    void append(const QString &text);
    // Child output: shown in order, a slice at a time.
    void queue(const QString &text);
    // A line of the child's that has not ended: shown as it reads now, once all waiting output is
    // in, and replaced by whatever comes next.
    void showProvisional(const QString &line);
    bool isDrained() const { return pendingStart == pending.size(); }

    // The pane's text with the output still waiting and `undecided` (a line the decoder still
    // holds), as the pane will show them, built without inserting anything: copy and save never
    // wait for the pane to catch up.
    QString receivedText(const QString &undecided) const;

    // Empties the pane and drops what waits: nothing received before appears after it.
    void clear();

    // How long output is inserted before the event loop runs again.
    void setBudgetMs(qint64 ms) { budgetMs = ms; }
    // How much child output waits to be shown, in characters.
    qsizetype waitingSize() const { return pending.size() - pendingStart; }
    // The pane's text from `from` to `to` (document positions) as received: a long line that the
    // pane holds in several blocks is one line here.
    QString textBetween(int from, int to) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void flush() { insertPending(std::numeric_limits<qint64>::max()); }
    void insertPending(qint64 budget);
    // Where the next piece of waiting output to insert ends.
    qsizetype pieceEnd() const;
    // Replaces the output's current line, `shownLength` characters long, from the edit's column
    // on; false when nothing changed.
    bool applyToOutputLine(QTextCursor &cursor, const ConsoleLines::Edit &change,
                           qsizetype shownLength);
    // Where the output ends and the input line begins.
    int outputEnd();
    // The position of `column` of the output's current line, `shownLength` characters long.
    int positionOf(qsizetype column, qsizetype shownLength);
    // Replaces the output from `from` to its end by `text`.
    void replaceOutput(QTextCursor &cursor, int from, QStringView text);
    void retractProvisional();
    QString asReceived(const QString &paneText, int from, int to) const;
    QString inputText() const;
    // The input line becomes part of the output, followed by `ending`.
    void echoInput(const QString &ending);
    void showEnd();

    QPlainTextEdit *pane;
    AccessibleOutput *accessibleOutput;
    // Child output waiting to be shown, from pendingStart on.
    QString pending;
    qsizetype pendingStart = 0;
    ConsoleLines consoleLines;
    // Where output ends and the input line begins; output is inserted here.
    QTextCursor inputStart;
    bool runOpen = false;
    bool inputOpen = false;
    // The column of the output's current line from which a provisional line is shown, -1 for
    // none, and where in the pane it starts.
    qsizetype provisionalColumn = -1;
    int provisionalFrom = 0;
    // How many blocks the pane made to go on with a long line; see textBetween().
    int continuedBlocks = 0;
    QTimer flushTimer;
    qint64 budgetMs = 5;
    // When the pane last laid out and showed what it was given.
    QElapsedTimer sinceShown;
};

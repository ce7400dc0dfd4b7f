#pragma once

#include "exec/consolelines.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <limits>

class AccessibleOutput;
class QPlainTextEdit;

// Everything between the text of a run and the output pane: the child output waiting to be
// shown, inserted a slice at a time within a time budget so that the window keeps repainting and
// hearing "停止执行" while a fast child streams; the layout and repaint once a frame instead of
// once a slice; the gathering of a very long line's chunks; the console line rules; what
// accessibility clients hear of it. Text of the tool's own (headers, notices, footers) is shown at
// once, after the child output before it.
//
// It tells its owner through the callbacks below, which may start or end a run: they are called
// last, with the stream in a consistent state.
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

    // Accessibility clients hear of a run's output from its header on at a bounded rate, and of
    // the rest at once when it ends.
    void beginRun();
    void endRun();

    // Text of the tool's own, which ends its lines: shown at once, after all waiting output.
    void append(const QString &text);
    // Child output: shown in order, a slice at a time.
    void queue(const QString &text);
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

private:
    void flush() { insertPending(std::numeric_limits<qint64>::max()); }
    void insertPending(qint64 budget);
    // Where the next piece of waiting output to insert ends.
    qsizetype pieceEnd() const;

    QPlainTextEdit *pane;
    AccessibleOutput *accessibleOutput;
    // Child output waiting to be shown, from pendingStart on.
    QString pending;
    qsizetype pendingStart = 0;
    ConsoleLines consoleLines;
    QTimer flushTimer;
    int flushDelayMs = 0;
    qint64 budgetMs = 5;
    // When the pane last laid out and showed what it was given.
    QElapsedTimer sinceShown;
};

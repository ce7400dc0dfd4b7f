#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QAccessibleEvent;
class QPlainTextEdit;

// What accessibility clients hear of the output pane while a run streams into it. Qt raises a
// text event for every change of the pane and a value event for every move of its scroll bars,
// and a listening client (a screen reader, a UI Automation server) costs a round trip on the GUI
// thread for each one. While a stream is open, the pane's text events are held back and told at
// most every kIntervalMs, less often to a slow client, as one event that describes what changed
// since the last one told, and once more when the stream ends; its caret and scroll bar events
// are dropped, as the runner keeps both at the end. Every other event passes on unchanged. The
// pane's accessible interface always reads what the pane holds.
//
// The events are taken with an update handler, installed while a stream is open; Qt calls it only
// while a client listens.
class AccessibleOutput : public QObject
{
public:
    // Four events a second at most while output streams.
    static constexpr int kIntervalMs = 250;
    // The inverse of the share of a stream's time that telling a slow client may take.
    static constexpr int kClientShare = 5;

    // Made a child of `pane`.
    explicit AccessibleOutput(QPlainTextEdit *pane);
    ~AccessibleOutput() override;

    void beginStream();
    // Tells what is still held back; from then on the pane's events pass on as they come.
    void endStream();

private:
    static void handleEvent(QAccessibleEvent *event);
    static void forward(QAccessibleEvent *event);
    static void uninstallUnlessStreaming();
    bool holdBack(QAccessibleEvent *event);
    void tell();

    QPlainTextEdit *pane;
    bool streaming = false;
    // The first character that changed since the last event told; -1 when nothing did.
    int changedFrom = -1;
    // The pane's length when the last event was told.
    int toldLength = 0;
    // How long the client took to hear the last event told.
    qint64 tellCostMs = 0;
    QElapsedTimer sinceTold;
    QTimer tellTimer;
};

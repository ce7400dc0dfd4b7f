#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QProcess;

// The merged output of one child, read so that the tool can hold it back: while held, nothing
// more is read from the child's output pipe, so a child that writes faster than the output pane
// shows waits at its full pipe, as it would at a console, instead of piling up unread output in
// memory; a stop then needs to show only what was already read. The end of the child is noticed
// from the child itself (QProcess::finished), also while a program it started keeps the pipe.
class OutputFlow : public QObject
{
    Q_OBJECT

public:
    // Made after the channels of `process` are set and before it starts, as its child object;
    // from then on its output is read only through here.
    explicit OutputFlow(QProcess &process);
    ~OutputFlow() override;

    // The flow of `process`, or nullptr.
    static OutputFlow *of(QProcess &process);

    // What has been read and not yet taken. Once the child has ended, also what its pipe still
    // holds at that moment, without waiting for the programs that outlive it.
    QByteArray read();
    void hold();
    // Reads on, including what arrived while held. Does nothing for a flow that is not held.
    void release();
    // False when the output cannot be held: on Windows, when no pipe of the tool's own could be
    // made (its name squatted) and the output comes through QProcess's own reader, unheld.
    bool canHold() const;

    // Windows: tests give the random parts of the pipe's name, one for each try (the last one
    // for the rest), so that a squatter can take them first; an empty list restores random
    // parts. Elsewhere no pipe is named.
    static void setPipeNamePartsForTesting(const QStringList &parts);

signals:
    void readyRead();

private:
    struct Platform;
    QProcess &process;
    Platform *platform = nullptr;
};

#pragma once

#include <QString>
#include <QStringView>

// What a console window shows of a child's output, line by line. LF ends a line, and so do
// CR LF and CR CR LF (their CRs only return to the start of the line). A lone CR returns to the
// start of the current line and what follows overwrites it character by character, so a progress
// counter stays one line, and characters that are not overwritten stay ("12345" CR "ab" shows
// "ab345"). The current line stays open from one chunk to the next: a CR at the end of one read is
// settled by the next, and one left at the end of the output leaves its line as it is.
class ConsoleLines
{
public:
    // How the shown text changes: everything from `column` of the current (last) line to the end
    // is replaced by `text`. Plain output only appends (`column` is the line's old length).
    struct Edit
    {
        qsizetype column = 0;
        QString text;
    };

    Edit feed(QStringView chunk);
    // Starts over with an empty current line, as after a line break: for text the tool writes
    // itself, which always ends its lines, and for an emptied view.
    void reset();
    const QString &currentLine() const { return line; }

    // The text of a whole output given at once.
    static QString text(QStringView output);

private:
    QString line;
    qsizetype column = 0;
};

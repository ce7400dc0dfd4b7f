#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// What a console window shows of a child's output, line by line. LF ends a line, and so do
// CR LF and CR CR LF (their CRs only return to the start of the line). A lone CR returns to the
// start of the current line and what follows overwrites it cell by cell, as in a console, so a
// progress counter stays one line, and what is not overwritten stays ("12345" CR "ab" shows
// "ab345"). A CJK character takes two cells ("中文" CR "ab" shows "ab文"); a TAB reaches the next
// multiple of 8 cells. A backspace steps back over one character in the same way. Other control
// characters (the form feed of `cls`, BEL, NUL) show nothing, and ANSI escape sequences (ESC [ ...
// letter) are dropped whole. The current line and an escape sequence stay open from one chunk to
// the next: a CR at the end of one read is settled by the next, and one left at the end of the
// output leaves its line as it is.
class ConsoleLines
{
public:
    // How the shown text changes: everything from `column` (a UTF-16 index) of the current (last)
    // line to the end is replaced by `text`. Plain output only appends (`column` is the line's old
    // length).
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
    enum class Escape
    {
        None,
        Start,        // after ESC
        Sequence,     // ESC [ ...: up to a final letter
        Intermediate, // ESC ( and the like: up to a final character
        Text          // ESC ] ...: up to BEL or ESC backslash
    };

    struct Position
    {
        qsizetype index = 0;
        qsizetype cell = 0;
    };

    // Whether `c` belongs to the escape sequence under way; updates `escape`.
    bool consumeEscape(QChar c);
    Position locate(qsizetype cell) const;
    qsizetype write(QStringView text, bool narrow);
    void stepBack();

    QString line;
    // The line's width and the cursor, in console cells.
    qsizetype lineCells = 0;
    qsizetype column = 0;
    // Every unit of the line takes one cell: cells and indexes are the same.
    bool lineNarrow = true;
    Escape escape = Escape::None;
};

// What a console shows of a child's whole output, from its bytes: decoded as ConsoleDecoder does,
// then by the line rules above. For the information windows and the command help.
QString consoleText(QByteArrayView output);

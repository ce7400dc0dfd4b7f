#include "exec/consolelines.h"

#include "exec/consoledecoder.h"

#include <algorithm>

namespace {

constexpr char16_t kBackspace = 0x08;
constexpr char16_t kTab = 0x09;
constexpr char16_t kEscape = 0x1b;
constexpr char16_t kBell = 0x07;

constexpr qsizetype kTabStop = 8;

// Characters that are shown as they are; everything else is looked at one by one.
bool isPlain(QChar c)
{
    return c.unicode() >= 0x20 || c.unicode() == kTab;
}

// East Asian wide and full-width characters take two cells of a console, everything else one.
qsizetype cellsOf(char32_t c)
{
    if (c < 0x1100)
        return 1;
    const bool wide = c <= 0x115f || (c >= 0x2e80 && c <= 0x303e) || (c >= 0x3041 && c <= 0x4dbf) ||
                      (c >= 0x4e00 && c <= 0xa4cf) || (c >= 0xa960 && c <= 0xa97f) ||
                      (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
                      (c >= 0xfe10 && c <= 0xfe19) || (c >= 0xfe30 && c <= 0xfe6f) ||
                      (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) ||
                      (c >= 0x1f300 && c <= 0x1f64f) || (c >= 0x1f900 && c <= 0x1f9ff) ||
                      (c >= 0x20000 && c <= 0x3fffd);
    return wide ? 2 : 1;
}

// The character of `text` at `index`: its UTF-16 units and its cells when it starts at `cell`.
struct Character
{
    qsizetype units;
    qsizetype cells;
};

Character characterAt(QStringView text, qsizetype index, qsizetype cell)
{
    const QChar c = text[index];
    if (c.unicode() == kTab)
        return {1, kTabStop - cell % kTabStop};
    if (c.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate())
        return {2, cellsOf(QChar::surrogateToUcs4(c, text[index + 1]))};
    return {1, cellsOf(c.unicode())};
}

} // namespace

// Where cell `cell` of the line lies: the index of the character that covers it and the cell that
// character starts at (the line's end if it is shorter).
ConsoleLines::Position ConsoleLines::locate(qsizetype cell) const
{
    Position at;
    while (at.index < line.size()) {
        const Character character = characterAt(line, at.index, at.cell);
        if (at.cell + character.cells > cell)
            break;
        at.cell += character.cells;
        at.index += character.units;
    }
    return at;
}

// Writes `text` (no control characters but TAB) at the cursor, as a console does, cell by cell: a
// character overwrites the cells under it, and where it covers only half of a wide character (or
// part of a tab), the rest of that one becomes spaces, as conhost pads it. Returns the index of
// the first character changed. `narrow`: every unit of `text` takes one cell.
qsizetype ConsoleLines::write(QStringView text, bool narrow)
{
    // The common case, a progress counter over its own digits too: a unit a cell on both sides.
    if (narrow && lineNarrow) {
        const qsizetype start = column;
        line.replace(start, std::min(text.size(), line.size() - start), text.data(), text.size());
        column += text.size();
        lineCells = line.size();
        return start;
    }
    lineNarrow = false;
    if (column == lineCells) {
        const qsizetype changed = line.size();
        if (narrow) {
            column += text.size();
        } else {
            for (qsizetype i = 0; i < text.size();) {
                const Character character = characterAt(text, i, column);
                column += character.cells;
                i += character.units;
            }
        }
        line += text;
        lineCells = column;
        return changed;
    }
    const Position start = locate(column);
    QString replacement(column - start.cell, QLatin1Char(' '));
    Position old = start; // the old characters overwritten so far end here
    for (qsizetype i = 0; i < text.size();) {
        const Character character = characterAt(text, i, column);
        replacement += text.mid(i, character.units);
        column += character.cells;
        i += character.units;
        while (old.cell < column && old.index < line.size()) {
            const Character overwritten = characterAt(line, old.index, old.cell);
            old.cell += overwritten.cells;
            old.index += overwritten.units;
        }
    }
    if (old.cell > column)
        replacement += QString(old.cell - column, QLatin1Char(' '));
    line.replace(start.index, old.index - start.index, replacement);
    lineCells = std::max(column, old.cell) + lineCells - old.cell;
    return start.index;
}

// A console's backspace steps back over the whole character before the cursor: two cells for a
// wide one, up to its start for a tab.
void ConsoleLines::stepBack()
{
    if (column == 0)
        return;
    if (column == lineCells && !line.isEmpty()) {
        const QChar last = line.back();
        if (last.unicode() != kTab && !last.isLowSurrogate()) {
            column -= cellsOf(last.unicode());
            return;
        }
    }
    column = locate(column - 1).cell;
}

// A control character breaks off a sequence and counts as itself, so a broken sequence cannot
// swallow a line end.
bool ConsoleLines::consumeEscape(QChar c)
{
    const char16_t u = c.unicode();
    const bool final = u >= 0x30 && u <= 0x7e;
    switch (escape) {
    case Escape::None:
        return false;
    case Escape::Start:
        if (u == '[')
            escape = Escape::Sequence;
        else if (u == ']')
            escape = Escape::Text;
        else if (u >= 0x20 && u <= 0x2f)
            escape = Escape::Intermediate;
        else if (final)
            escape = Escape::None; // a two-character sequence such as ESC M
        else
            break;
        return true;
    case Escape::Sequence:
        // Parameters and intermediates (0x20-0x3f) up to a final character (0x40-0x7e).
        if (u >= 0x40 && u <= 0x7e)
            escape = Escape::None;
        else if (u < 0x20 || u > 0x3f)
            break;
        return true;
    case Escape::Intermediate:
        if (final)
            escape = Escape::None;
        else if (u < 0x20 || u > 0x2f)
            break;
        return true;
    case Escape::Text:
        if (u == kBell)
            escape = Escape::None;
        else if (u == kEscape)
            escape = Escape::Start; // ESC \ ends it; Start takes the backslash
        else if (u < 0x20)
            break;
        return true;
    }
    escape = Escape::None;
    return false;
}

ConsoleLines::Edit ConsoleLines::feed(QStringView chunk)
{
    Edit edit;
    edit.column = line.size();
    // Once the line that was current when the chunk came has ended, every later line is new text.
    bool firstLineEnded = false;
    const auto endLine = [&] {
        if (firstLineEnded)
            edit.text += line;
        else
            edit.text = line.mid(edit.column);
        edit.text += QLatin1Char('\n');
        firstLineEnded = true;
        line.clear();
        lineCells = 0;
        column = 0;
        lineNarrow = true;
    };

    const qsizetype size = chunk.size();
    qsizetype position = 0;
    while (position < size) {
        if (escape != Escape::None && consumeEscape(chunk[position])) {
            ++position;
            continue;
        }
        qsizetype stop = position;
        // Most output is narrow text without tabs: one cell a unit.
        bool narrow = true;
        for (; stop < size && isPlain(chunk[stop]); ++stop)
            narrow &= chunk[stop].unicode() < 0x1100 && chunk[stop].unicode() != kTab;
        if (stop > position) {
            const qsizetype changed = write(chunk.sliced(position, stop - position), narrow);
            if (!firstLineEnded)
                edit.column = std::min(edit.column, changed);
        }
        if (stop == size)
            break;
        switch (chunk[stop].unicode()) {
        case '\r':
            column = 0;
            break;
        case '\n':
            endLine();
            break;
        case kBackspace:
            stepBack();
            break;
        case kEscape:
            escape = Escape::Start;
            break;
        default:
            break; // shows nothing
        }
        position = stop + 1;
    }
    if (firstLineEnded)
        edit.text += line;
    else
        edit.text = line.mid(edit.column);
    return edit;
}

void ConsoleLines::reset()
{
    line.clear();
    lineCells = 0;
    column = 0;
    lineNarrow = true;
    escape = Escape::None;
}

QString ConsoleLines::text(QStringView output)
{
    ConsoleLines lines;
    return lines.feed(output).text;
}

QString consoleText(QByteArrayView output)
{
    return ConsoleLines::text(ConsoleDecoder::decodeAll(output));
}

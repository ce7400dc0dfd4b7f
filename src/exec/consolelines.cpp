#include "exec/consolelines.h"

#include "exec/consoledecoder.h"

#include <algorithm>

namespace {

constexpr char16_t kBackspace = 0x08;
constexpr char16_t kTab = 0x09;
constexpr char16_t kEscape = 0x1b;
constexpr char16_t kBell = 0x07;

// Characters that are shown as they are; everything else is looked at one by one.
bool isPlain(QChar c)
{
    return c.unicode() >= 0x20 || c.unicode() == kTab;
}

} // namespace

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
        column = 0;
    };

    const qsizetype size = chunk.size();
    qsizetype position = 0;
    while (position < size) {
        if (escape != Escape::None && consumeEscape(chunk[position])) {
            ++position;
            continue;
        }
        qsizetype stop = position;
        while (stop < size && isPlain(chunk[stop]))
            ++stop;
        if (const qsizetype length = stop - position; length > 0) {
            if (!firstLineEnded)
                edit.column = std::min(edit.column, column);
            // Overwrites what lies under the new characters and keeps what lies beyond them.
            const qsizetype overwritten = std::min(length, line.size() - column);
            line.replace(column, overwritten, chunk.data() + position, length);
            column += length;
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
            column = std::max<qsizetype>(column - 1, 0);
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
    column = 0;
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

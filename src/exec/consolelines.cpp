#include "exec/consolelines.h"

#include <algorithm>

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
        qsizetype stop = position;
        while (stop < size && chunk[stop] != QLatin1Char('\r') && chunk[stop] != QLatin1Char('\n'))
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
        if (chunk[stop] == QLatin1Char('\r'))
            column = 0;
        else
            endLine();
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
}

QString ConsoleLines::text(QStringView output)
{
    ConsoleLines lines;
    return lines.feed(output).text;
}

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Turns a child's output, arriving in chunks, into text. The encoding is that of the console the
// child writes to: the OEM code page on Windows (in which cmd.exe and console programs write to a
// pipe), UTF-8 elsewhere. A character split between two chunks is completed by the next chunk,
// and however the stream is split, the text is the same as for the whole stream at once.
class ConsoleDecoder
{
public:
    ConsoleDecoder();
    // Windows only: decodes in the given code page instead of the console's.
    explicit ConsoleDecoder(unsigned codePage);

    QString decode(const QByteArray &bytes);
    void resetState();

private:
    QString decodeUtf8(const QByteArray &bytes);

    // Used by the Windows decoder only.
    [[maybe_unused]] unsigned codePage = 0;
    // Stateless: an incomplete tail is held back here instead (see decodeUtf8).
    QStringDecoder utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    // Bytes of a character that the last chunk left incomplete.
    QByteArray pending;
};

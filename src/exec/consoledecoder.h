#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Turns a child's output, arriving in chunks, into text in the system's local 8-bit encoding.
// A character split between two chunks is completed by the next chunk, and however the stream is
// split, the text is the same as for the whole stream at once.
class ConsoleDecoder
{
public:
    ConsoleDecoder();

    QString decode(const QByteArray &bytes);
    void resetState();

private:
    QStringDecoder decoder;
    // Bytes of a character that the last chunk left incomplete, where the platform's decoder
    // cannot be trusted to keep them itself.
    QByteArray pending;
};

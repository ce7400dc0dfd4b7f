// Fuzzes console decoding and the console line rules: output bytes split at arbitrary points
// must decode, chunk by chunk through one decoder, to exactly the text of the whole stream decoded
// at once (in the console's code page, GBK, or UTF-8 with GBK for older programs), and the lines
// shown from the chunks' edits must be those of the whole text, never with a NUL in them. The text
// of a line still undecided is that of the output so far; a NUL put into 8-bit text changes nothing
// else.
#include "exec/consoledecoder.h"
#include "exec/consolelines.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

QString decodedWhole(ConsoleDecoder decoder, QByteArrayView bytes)
{
    QString text = decoder.decode(bytes);
    return text + decoder.finish();
}

// The stream as Windows 8-bit text: lines ending in CR LF, no byte order mark, no NUL, and short
// enough to be decided at their ends. Then the same with one NUL anywhere but right after a CR
// (CR NUL is a UTF-16 line end).
std::pair<QByteArray, QByteArray> eightBitTextWithAndWithoutNul(const QByteArray &stream,
                                                                unsigned seed)
{
    QByteArray text;
    for (const char byte : stream.left(4000)) {
        if (byte == '\n')
            text += "\r\n";
        else if (byte != '\r' && byte != '\0' && byte != '\xff')
            text += byte;
    }
    text += "\r\n";
    qsizetype at = qsizetype(seed * 2654435761u % unsigned(text.size()));
    if (at > 0 && text[at - 1] == '\r')
        ++at;
    QByteArray withNul = text;
    withNul.insert(at, '\0');
    return {text, withNul};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the split points and the code page; the rest is the child's output.
    const unsigned seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const auto decoder = [seed] {
        switch (seed % 3) {
        case 1:
            return ConsoleDecoder(936);
        case 2:
            return ConsoleDecoder(65001, 936);
        default:
            return ConsoleDecoder();
        }
    };

    ConsoleDecoder whole = decoder();
    QString expected = whole.decode(stream);
    expected += whole.finish();

    ConsoleDecoder chunked = decoder();
    ConsoleLines lines;
    QString actual;
    QString shown;
    qsizetype position = 0;
    unsigned step = seed;
    for (qsizetype chunk = 1; position < stream.size(); ++chunk) {
        step = step * 1103515245u + 12345u;
        const qsizetype length = qMin<qsizetype>(stream.size() - position, 1 + (step >> 16) % 7);
        const QString text = chunked.decode(stream.mid(position, length));
        actual += text;
        const ConsoleLines::Edit edit = lines.feed(text);
        const qsizetype lineStart = shown.lastIndexOf(QLatin1Char('\n')) + 1;
        shown = shown.left(lineStart + edit.column) + edit.text;
        position += length;
        // What the view shows of a line still undecided is what the output so far would give.
        if ((chunk & (chunk - 1)) == 0 &&
            actual + chunked.undecidedText() != decodedWhole(decoder(), stream.left(position)))
            std::abort();
    }
    const QString rest = chunked.finish();
    actual += rest;
    const ConsoleLines::Edit edit = lines.feed(rest);
    const qsizetype lineStart = shown.lastIndexOf(QLatin1Char('\n')) + 1;
    shown = shown.left(lineStart + edit.column) + edit.text;
    if (actual != expected || shown.contains(QChar(0)) || shown != ConsoleLines::text(expected))
        std::abort();

    const auto [text, withNul] = eightBitTextWithAndWithoutNul(stream, seed);
    if (decodedWhole(decoder(), text) != decodedWhole(decoder(), withNul))
        std::abort();
    return 0;
}

#include "exec/consoledecoder.h"

#include "exec/consoledecoder_platform.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned kUtf8 = 65001;
// A line longer than this is decided on its first bytes, so that it still streams.
constexpr qsizetype kDecideLimit = 4096;

// Length of a UTF-8 sequence that starts with `lead`, or 0 for a byte that cannot start one.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xc2 && lead <= 0xdf)
        return 2;
    if (lead >= 0xe0 && lead <= 0xef)
        return 3;
    if (lead >= 0xf0 && lead <= 0xf4)
        return 4;
    return 0;
}

// Whether `byte` may follow `lead` as the second byte of a well-formed sequence.
bool validSecondByte(unsigned char lead, unsigned char byte)
{
    unsigned char low = 0x80, high = 0xbf;
    if (lead == 0xe0)
        low = 0xa0;
    else if (lead == 0xed)
        high = 0x9f;
    else if (lead == 0xf0)
        low = 0x90;
    else if (lead == 0xf4)
        high = 0x8f;
    return byte >= low && byte <= high;
}

// Number of bytes at the end of `bytes` that form the start of a well-formed sequence still
// waiting for its last bytes.
qsizetype incompleteUtf8Tail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto lead = static_cast<unsigned char>(bytes.at(size - back));
        if ((lead & 0xc0) == 0x80)
            continue; // a continuation byte: the lead is further back
        const int length = sequenceLength(lead);
        if (length <= back)
            return 0;
        for (qsizetype i = 1; i < back; ++i) {
            const auto byte = static_cast<unsigned char>(bytes.at(size - back + i));
            if (i == 1 ? !validSecondByte(lead, byte) : (byte & 0xc0) != 0x80)
                return 0;
        }
        return back;
    }
    return 0;
}

// Whether `bytes` are well-formed UTF-8 and `accept` takes each of their non-ASCII code points.
bool forEachUtf8CodePoint(QByteArrayView bytes, bool (*accept)(char32_t))
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const int length = sequenceLength(lead);
        if (length == 0 || i + length > size || !validSecondByte(lead, data[i + 1]))
            return false;
        char32_t codePoint = lead & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            if (k > 1 && (data[i + k] & 0xc0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (data[i + k] & 0x3f);
        }
        if (!accept(codePoint))
            return false;
        i += length;
    }
    return true;
}

bool isCjkOrPunctuation(char32_t c)
{
    return (c >= 0x2000 && c <= 0x206f)       // general punctuation: “” … —
           || (c >= 0x2e80 && c <= 0x9fff)    // radicals, CJK punctuation, kana, ideographs
           || (c >= 0xac00 && c <= 0xd7af)    // Hangul syllables
           || (c >= 0xf900 && c <= 0xfaff)    // compatibility ideographs
           || (c >= 0xfe30 && c <= 0xfe4f)    // vertical forms
           || (c >= 0xff00 && c <= 0xffef)    // full-width forms
           || (c >= 0x20000 && c <= 0x3ffff); // supplementary ideographs
}

// Beyond CJK, what a UTF-8 line under a single-byte code page plausibly holds: European letters,
// Greek and Cyrillic, punctuation and currency signs.
bool isPlausibleBesideSingleByte(char32_t c)
{
    return (c >= 0xa0 && c <= 0x52f) || (c >= 0x20a0 && c <= 0x20cf) || isCjkOrPunctuation(c);
}

bool accepted(char32_t)
{
    return true;
}

bool isDoubleByteCodePage(unsigned codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool hasNonAscii(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char byte) { return byte & 0x80; });
}

bool isLineEnd(char byte)
{
    return byte == '\r' || byte == '\n';
}

// Bytes at the end of `bytes` that start a character still waiting for its last bytes.
qsizetype incompleteTail(QByteArrayView bytes, unsigned codePage)
{
    if (codePage == kUtf8)
        return incompleteUtf8Tail(bytes);
    if (!isDoubleByteCodePage(codePage))
        return 0;
    // Walking from the start tells a lead byte from a second byte that shares its value.
    qsizetype position = 0;
    while (position < bytes.size())
        position += ConsoleCodePage::isLeadByte(codePage, bytes.at(position)) ? 2 : 1;
    return position > bytes.size() ? 1 : 0;
}

} // namespace

ConsoleDecoder::ConsoleDecoder()
    : ConsoleDecoder(ConsoleCodePage::console())
{}

ConsoleDecoder::ConsoleDecoder(unsigned codePage)
    : ConsoleDecoder(codePage, codePage == kUtf8 ? ConsoleCodePage::legacy() : 0)
{}

ConsoleDecoder::ConsoleDecoder(unsigned codePage, unsigned legacyCodePage)
    : codePage(codePage)
    , legacyCodePage(legacyCodePage)
{}

QString ConsoleDecoder::decodeAll(QByteArrayView bytes)
{
    ConsoleDecoder decoder;
    QString text = decoder.decode(bytes);
    return text + decoder.finish();
}

QString ConsoleDecoder::decode(QByteArrayView bytes)
{
    held.append(bytes.data(), bytes.size());
    QString out;
    qsizetype position = 0;
    while (position < held.size()) {
        const qsizetype taken = takeLine(position, false, out);
        if (taken == 0)
            break;
        position += taken;
    }
    flushRun(out);
    held.remove(0, position);
    return out;
}

QString ConsoleDecoder::finish()
{
    QString out;
    qsizetype position = 0;
    while (position < held.size())
        position += takeLine(position, true, out);
    flushRun(out);
    held.clear();
    mode = Mode::EightBit;
    lineDecided = false;
    return out;
}

QString ConsoleDecoder::undecidedText() const
{
    ConsoleDecoder copy(codePage, legacyCodePage);
    copy.mode = mode;
    copy.lineDecided = lineDecided;
    copy.lineReading = lineReading;
    copy.held = held;
    return copy.finish();
}

void ConsoleDecoder::discardUndecided()
{
    held.clear();
    lineDecided = false;
}

qsizetype ConsoleDecoder::takeLine(qsizetype position, bool atEnd, QString &out)
{
    if (lineDecided)
        return continueLine(position, atEnd, out);
    return mode == Mode::Utf16 ? takeUtf16Line(position, atEnd, out)
                               : takeEightBitLine(position, atEnd, out);
}

qsizetype ConsoleDecoder::takeEightBitLine(qsizetype position, bool atEnd, QString &out)
{
    const char *data = held.constData();
    const qsizetype size = held.size();
    const qsizetype window = std::min(size, position + kDecideLimit);

    if (static_cast<unsigned char>(data[position]) == 0xff) {
        if (position + 1 == size && !atEnd)
            return 0;
        if (position + 1 < size && static_cast<unsigned char>(data[position + 1]) == 0xfe) {
            mode = Mode::Utf16; // a byte order mark
            return 2;
        }
    }

    qsizetype end = position;
    while (end < window && !isLineEnd(data[end]) && data[end] != '\0')
        ++end;
    if (end < window && data[end] != '\0') {
        // Decided at once, so that a line is shown as soon as it ends. A UTF-16 line without NULs
        // before its end ("\r\0", an empty line) reads the same here, and the NUL after it is
        // dropped below.
        const QByteArrayView line(data + position, end + 1 - position);
        appendEightBit(line, readingOf(line), out);
        return line.size();
    }
    if (end == window) {
        if (window - position < kDecideLimit && !atEnd)
            return 0;
        // A long line: read as its first bytes say, as it comes.
        QByteArrayView first(data + position, window - position);
        first.chop(incompleteTail(first, codePage));
        lineReading = readingOf(first);
        lineDecided = true;
        return continueLine(position, atEnd, out);
    }

    // NUL bytes: UTF-16LE. The line end units ("\r\0", "\n\0") say where its code units start,
    // else the NULs, which are mostly the high bytes of ASCII characters.
    qsizetype unitEnd = position;
    while (unitEnd + 1 < window && !(isLineEnd(data[unitEnd]) && data[unitEnd + 1] == '\0'))
        ++unitEnd;
    if (unitEnd + 1 >= window && window - position < kDecideLimit && !atEnd)
        return 0;
    const qsizetype nul = qsizetype(std::find(data + position, data + window, '\0') - data);
    const bool aligned =
        unitEnd + 1 < window ? (unitEnd - position) % 2 == 0 : (nul - position) % 2 == 1;
    mode = Mode::Utf16;
    if (aligned)
        return takeUtf16Line(position, atEnd, out);
    // One byte of something else before it: shown as 8-bit text, a stray NUL as nothing.
    if (data[position] != '\0')
        appendEightBit(QByteArrayView(data + position, 1), Reading::CodePage, out);
    return 1;
}

qsizetype ConsoleDecoder::takeUtf16Line(qsizetype position, bool atEnd, QString &out)
{
    const char *data = held.constData();
    const qsizetype size = held.size();
    const qsizetype window = std::min(size, position + kDecideLimit);

    bool sawNul = false;
    for (qsizetype q = position; q < window; ++q) {
        if (data[q] == '\0') {
            sawNul = true;
            // The high byte of a line end unit ends a UTF-16 line.
            if ((q - position) % 2 == 1 && isLineEnd(data[q - 1])) {
                flushRun(out);
                appendUtf16(QByteArrayView(data + position, q + 1 - position), out);
                return q + 1 - position;
            }
        } else if (!sawNul && data[q] == '\n' && q > position && data[q - 1] == '\r') {
            // CR LF as bytes, no NUL before it: the interpreter's own 8-bit text again. (In
            // UTF-16 these bytes would be rare Malayalam or Gurmukhi letters.)
            mode = Mode::EightBit;
            return takeEightBitLine(position, atEnd, out);
        }
    }
    if (window - position < kDecideLimit && !atEnd)
        return 0;
    if (!sawNul) {
        mode = Mode::EightBit;
        return takeEightBitLine(position, atEnd, out);
    }
    lineDecided = true;
    return continueLine(position, atEnd, out);
}

qsizetype ConsoleDecoder::continueLine(qsizetype position, bool atEnd, QString &out)
{
    const char *data = held.constData();
    const qsizetype size = held.size();
    qsizetype end = position;
    if (mode == Mode::Utf16) {
        while (end + 2 <= size) {
            end += 2;
            if (data[end - 1] == '\0' && isLineEnd(data[end - 2])) {
                lineDecided = false;
                break;
            }
        }
        // The first half of a surrogate pair waits for the second.
        const auto high = static_cast<unsigned char>(end > position ? data[end - 1] : 0);
        if (lineDecided && end > position && high >= 0xd8 && high <= 0xdb && !atEnd)
            end -= 2;
        flushRun(out);
        appendUtf16(QByteArrayView(data + position, end - position), out);
        if (atEnd && end < size) {
            out += QChar::ReplacementCharacter; // an odd byte at the end
            end = size;
        }
        return end - position;
    }

    while (end < size && !isLineEnd(data[end]))
        ++end;
    if (end < size) {
        ++end;
        lineDecided = false;
    } else {
        const unsigned readIn = lineReading == Reading::Utf8     ? kUtf8
                                : lineReading == Reading::Legacy ? legacyCodePage
                                                                 : codePage;
        const qsizetype tail =
            incompleteTail(QByteArrayView(data + position, size - position), readIn);
        if (!atEnd)
            end -= tail;
        else if (tail > 0) {
            appendEightBit(QByteArrayView(data + position, end - tail - position), lineReading,
                           out);
            flushRun(out);
            out += QChar::ReplacementCharacter;
            return end - position;
        }
    }
    appendEightBit(QByteArrayView(data + position, end - position), lineReading, out);
    return end - position;
}

ConsoleDecoder::Reading ConsoleDecoder::readingOf(QByteArrayView span) const
{
    if (!hasNonAscii(span))
        return Reading::Any;
    if (codePage == kUtf8) {
        if (forEachUtf8CodePoint(span, accepted) || legacyCodePage == 0)
            return Reading::Utf8;
        bool valid = false;
        ConsoleCodePage::decode(legacyCodePage, span, &valid);
        return valid ? Reading::Legacy : Reading::Utf8;
    }
    const bool plausible = forEachUtf8CodePoint(
        span, isDoubleByteCodePage(codePage) ? isCjkOrPunctuation : isPlausibleBesideSingleByte);
    return plausible ? Reading::Utf8 : Reading::CodePage;
}

// Consecutive spans read alike are decoded together: most output is many short lines.
void ConsoleDecoder::appendEightBit(QByteArrayView span, Reading reading, QString &out)
{
    if (span.isEmpty())
        return;
    const qsizetype start = span.data() - held.constData();
    const bool joins =
        run.size > 0 && run.start + run.size == start &&
        (reading == Reading::Any || run.reading == Reading::Any || reading == run.reading);
    if (joins) {
        run.size += span.size();
        if (run.reading == Reading::Any)
            run.reading = reading;
        return;
    }
    flushRun(out);
    run = {start, span.size(), reading};
}

void ConsoleDecoder::flushRun(QString &out)
{
    if (run.size == 0)
        return;
    const QByteArrayView bytes(held.constData() + run.start, run.size);
    run.size = 0;
    switch (run.reading) {
    case Reading::Utf8:
        out += utf8.decode(bytes);
        return;
    case Reading::Legacy:
        out += ConsoleCodePage::decode(legacyCodePage, bytes);
        return;
    case Reading::Any:
    case Reading::CodePage:
        out += codePage == kUtf8 ? utf8.decode(bytes) : ConsoleCodePage::decode(codePage, bytes);
        return;
    }
}

void ConsoleDecoder::appendUtf16(QByteArrayView bytes, QString &out)
{
    QByteArrayView units = bytes;
    // A byte order mark at the start of a line says nothing the NULs have not said.
    if (units.size() >= 2 && static_cast<unsigned char>(units[0]) == 0xff &&
        static_cast<unsigned char>(units[1]) == 0xfe)
        units = units.sliced(2);
    out += utf16.decode(units);
}

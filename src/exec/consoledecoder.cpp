#include "exec/consoledecoder.h"

#include "exec/consoledecoder_platform.h"

#include <algorithm>
#include <array>
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

// Calls `visit(codePoint, length)` for each non-ASCII character of `bytes` while it returns true;
// whether `bytes` are well-formed UTF-8 and `visit` took every character.
template<typename Visit> bool forEachUtf8CodePoint(QByteArrayView bytes, Visit &&visit)
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
        if (!visit(codePoint, length))
            return false;
        i += length;
    }
    return true;
}

// Punctuation, symbols, arrows, box drawing, currency signs and emoji.
bool isCommonSymbol(char32_t c)
{
    return (c >= 0x2010 && c <= 0x205e) || (c >= 0x20a0 && c <= 0x20c0) ||
           (c >= 0x2100 && c <= 0x27bf) || (c >= 0x1f000 && c <= 0x1faff);
}

// CJK punctuation, kana, common ideographs, Hangul syllables and full-width forms.
bool isCommonCjk(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30ff) || (c >= 0x3200 && c <= 0x33ff) ||
           (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xac00 && c <= 0xd7a3) ||
           (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
           (c >= 0xff00 && c <= 0xffef);
}

bool isSupplementaryIdeograph(char32_t c)
{
    return c >= 0x20000 && c <= 0x3ffff;
}

// Whether a line that is valid UTF-8 was meant as UTF-8 under a double-byte code page. GBK text
// that happens to be valid UTF-8 decodes to two-byte letters ("系统" reads "ϵͳ"), to rare
// ideographs of the supplementary planes (黏附 reads 𤸽) or to Extension A (Shift-JIS 羞恥 reads
// 㵒p); a UTF-8 line holds at least one three- or four-byte character of a common block, besides
// which only Latin-1 signs and letters (é, °) and rare ideographs are allowed.
bool meansUtf8BesideDoubleByte(QByteArrayView line)
{
    bool common = false;
    const bool valid = forEachUtf8CodePoint(line, [&common](char32_t c, int length) {
        if (length >= 3 && (isCommonCjk(c) || isCommonSymbol(c))) {
            common = true;
            return true;
        }
        return (c >= 0xa0 && c <= 0xff) || isSupplementaryIdeograph(c);
    });
    return valid && common;
}

// Whether a line that is valid UTF-8 was meant as UTF-8 under a single-byte code page: European
// letters, signs and symbols, and CJK text. A lone CJK character is not enough, nor are rare
// ideographs: a Cyrillic word in code page 866 can be valid UTF-8 of either ("уже" reads 㦥,
// "ход" reads 室).
bool meansUtf8BesideSingleByte(QByteArrayView line)
{
    qsizetype cjkRun = 0;
    bool loneCjk = false;
    const auto *data = reinterpret_cast<const unsigned char *>(line.data());
    qsizetype position = 0;
    const bool valid = forEachUtf8CodePoint(line, [&](char32_t c, int length) {
        while (data[position] < 0x80)
            ++position;
        // Characters with nothing between them make a run.
        const bool adjacent = position > 0 && data[position - 1] >= 0x80;
        position += length;
        const bool cjk = isCommonCjk(c);
        if (cjkRun == 1 && !(cjk && adjacent))
            loneCjk = true;
        cjkRun = cjk ? (adjacent ? cjkRun + 1 : 1) : 0;
        return cjk || (c >= 0xa0 && c <= 0x52f) || isCommonSymbol(c);
    });
    return valid && !loneCjk && cjkRun != 1;
}

bool isDoubleByteCodePage(unsigned codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool hasNonAscii(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char byte) { return byte & 0x80; });
}

bool isLineEnd(unsigned char byte)
{
    return byte == '\r' || byte == '\n';
}

QByteArray withoutNuls(QByteArrayView bytes)
{
    QByteArray kept;
    kept.reserve(bytes.size());
    for (const char byte : bytes) {
        if (byte != '\0')
            kept += byte;
    }
    return kept;
}

// CJK ideographs, CJK punctuation and full-width forms: most of what UTF-16 Chinese text holds.
bool isCjkUnit(char16_t unit)
{
    return (unit >= 0x4e00 && unit < 0xa000) || (unit >= 0x3000 && unit < 0x3040) ||
           (unit >= 0xff00 && unit < 0xfff0);
}

// Whether `unit` is a character that UTF-16 console output holds: the scripts and symbols of the
// Chinese, Japanese, Korean and Western consoles. 8-bit text read as UTF-16 gives rare ideographs,
// Indic or private use characters more often than not, and CR or LF bytes as high bytes always.
constexpr bool isPlausibleUnit(char16_t unit)
{
    return (unit > 0 && unit < 0x0530) || (unit >= 0x1e00 && unit < 0x2000) ||
           (unit >= 0x2010 && unit <= 0x2027) || (unit >= 0x2030 && unit <= 0x203b) ||
           unit == 0x20ac || (unit >= 0x2100 && unit < 0x27c0) ||
           (unit >= 0x3000 && unit < 0x3400) || (unit >= 0x4e00 && unit < 0xa000) ||
           (unit >= 0xac00 && unit < 0xd7a4) || (unit >= 0xf900 && unit < 0xfb00) ||
           (unit >= 0xfe30 && unit < 0xfe50) || unit == 0xfeff || (unit >= 0xff00 && unit < 0xfff0);
}

// isPlausibleUnit by the high byte, which mostly settles it: every unit with it, none, or some.
enum UnitsOfHighByte : unsigned char
{
    NoUnit,
    EveryUnit,
    SomeUnits
};

constexpr std::array<unsigned char, 256> kUnitsOfHighByte = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned high = 0; high < 256; ++high) {
        int plausible = 0;
        for (unsigned low = 0; low < 256; ++low)
            plausible += isPlausibleUnit(char16_t(high << 8 | low));
        table[high] = plausible == 0 ? NoUnit : plausible == 256 ? EveryUnit : SomeUnits;
    }
    return table;
}();

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
    consume(false, out);
    return out;
}

QString ConsoleDecoder::finish()
{
    QString out;
    consume(true, out);
    mode = Mode::EightBit;
    previousEnd = 0;
    lineDecided = false;
    return out;
}

QString ConsoleDecoder::undecidedText() const
{
    ConsoleDecoder copy(codePage, legacyCodePage);
    copy.mode = mode;
    copy.previousEnd = previousEnd;
    copy.lineDecided = lineDecided;
    copy.lineReading = lineReading;
    copy.held = held;
    copy.scan = scan;
    return copy.finish();
}

void ConsoleDecoder::discardUndecided()
{
    // A long line already shown holds back only the start of a character.
    if (lineDecided)
        return;
    qsizetype kept = 0;
    // A line that may still be UTF-16 keeps its alignment, and goes on as one that may be.
    const bool mayBeUtf16 = scan.utf16 && (scan.evidence > 0 || scan.firstLineEnd >= 0);
    if (mode == Mode::Utf16 || mayBeUtf16) {
        kept = held.size() % 2;
        const qsizetype units = held.size() - kept;
        if (units >= 2 &&
            QChar::isHighSurrogate(char16_t(uchar(held[units - 2]) | uchar(held[units - 1]) << 8)))
            kept += 2;
    } else {
        kept = std::max(incompleteTail(held, codePage), incompleteUtf8Tail(held));
    }
    held = held.right(kept);
    scan = {};
    scan.mayBeUtf16 = mayBeUtf16;
}

void ConsoleDecoder::consume(bool atEnd, QString &out)
{
    qsizetype position = 0;
    while (position < held.size()) {
        const qsizetype taken = takeLine(position, atEnd, out);
        if (taken == 0)
            break;
        position += taken;
    }
    flushRun(out);
    held.remove(0, position);
}

qsizetype ConsoleDecoder::takeLine(qsizetype position, bool atEnd, QString &out)
{
    if (lineDecided)
        return continueLine(position, atEnd, out);
    const QByteArrayView line(held.constData() + position, held.size() - position);
    if (scan.scanned == 0) {
        const char last = std::exchange(previousEnd, char(0));
        if (last == '\r' && line[0] == '\n') {
            appendEightBit(line.first(1), Reading::Any, out);
            return 1;
        }
        // The high byte of a UTF-16 line end whose low byte was read as 8-bit: back in step.
        if (last != 0 && line[0] == '\0') {
            mode = Mode::Utf16;
            return 1;
        }
        if (uchar(line[0]) == 0xff) {
            if (line.size() == 1 && !atEnd)
                return 0;
            if (line.size() > 1 && uchar(line[1]) == 0xfe) {
                mode = Mode::Utf16; // a byte order mark
                return 2;
            }
        }
    }

    const Verdict verdict = scanLine(line, atEnd);
    if (verdict.kind == Verdict::Wait)
        return 0;
    const bool plainAscii = scan.bytesOr < 0x80 && !scan.nul;
    scan = {};
    switch (verdict.kind) {
    case Verdict::Utf16Line:
        flushRun(out);
        appendUtf16(line.first(verdict.end), out);
        mode = Mode::Utf16;
        return verdict.end;
    case Verdict::EightBitLine: {
        const QByteArrayView eightBit = line.first(verdict.end);
        if (plainAscii) // the most common line
            appendEightBit(eightBit, Reading::Any, out, false);
        else
            appendEightBit(eightBit, readingOf(eightBit), out);
        endEightBitLine(eightBit.back());
        return verdict.end;
    }
    case Verdict::LongUtf16Line:
        mode = Mode::Utf16;
        lineDecided = true;
        return continueLine(position, atEnd, out);
    default: {
        // A long line, or the rest of the output: read as its first bytes say, as it comes.
        QByteArrayView first = line.first(std::min(line.size(), kDecideLimit));
        first.chop(incompleteTail(first, codePage));
        mode = Mode::EightBit;
        lineReading = readingOf(first);
        lineDecided = true;
        return continueLine(position, atEnd, out);
    }
    }
}

// Reads the line's bytes from where the last scan stopped, as UTF-16LE units from its first byte
// for as long as they are plausible characters, and as 8-bit text for its line ends.
ConsoleDecoder::Verdict ConsoleDecoder::scanLine(QByteArrayView line, bool atEnd)
{
    const auto *data = reinterpret_cast<const unsigned char *>(line.data());
    const qsizetype limit = std::min(line.size(), kDecideLimit);
    // A copy, so that the compiler keeps it in registers: the bytes could alias the members.
    Scan found = scan;
    const auto decided = [&found, this](Verdict::Kind kind, qsizetype end) {
        scan = found;
        return Verdict{kind, end};
    };
    qsizetype k = found.scanned;
    for (; k < limit; ++k) {
        const unsigned char byte = data[k];
        found.bytesOr |= byte;
        if (!found.utf16) {
            // 8-bit text: only its line end matters now.
            for (; k < limit; ++k) {
                const unsigned char next = data[k];
                found.bytesOr |= next;
                if (next <= '\r') {
                    if (isLineEnd(next))
                        return decided(Verdict::EightBitLine, k + 1);
                    found.nul = found.nul || next == 0;
                }
            }
            break;
        }
        if (byte == 0)
            found.nul = true;
        if (k % 2 == 0) {
            if (isLineEnd(byte) && found.firstLineEnd < 0) {
                if (mode == Mode::EightBit && k > 0 && !mayBeUtf16Cjk(found, line.first(k)))
                    return decided(Verdict::EightBitLine, k + 1);
                found.firstLineEnd = k;
            }
            continue;
        }
        const unsigned char low = data[k - 1];
        if (byte == 0 && isLineEnd(low) && !found.highSurrogate)
            return decided(Verdict::Utf16Line, k + 1);
        const auto unit = char16_t(low | byte << 8);
        if (takesUnit(found, unit)) {
            if (low == 0 || byte == 0 || unit == 0xfeff)
                ++found.evidence;
            found.cjk = found.cjk && isCjkUnit(unit);
            continue;
        }
        found.utf16 = false;
        if (found.firstLineEnd >= 0)
            return decided(Verdict::EightBitLine, found.firstLineEnd + 1);
        if (isLineEnd(byte))
            return decided(Verdict::EightBitLine, k + 1);
    }
    found.scanned = k;
    scan = found;
    const bool alive = scan.utf16 && k > 0;
    if (k == kDecideLimit) {
        // Long CJK lines of a UTF-16 run have no NUL for many kilobytes.
        if (alive && (mode == Mode::Utf16 || scan.evidence >= 2))
            return {Verdict::LongUtf16Line, 0};
    } else if (!atEnd) {
        return {};
    } else if (alive) {
        // The end of the output, without a line end: NULs at a steady rate, or a character such
        // as 开 (00 5F) at the start of a line.
        const bool utf16Line = mode == Mode::Utf16 ? k % 2 == 0 || scan.evidence > 0
                                                   : scan.evidence >= 2 || (k >= 2 && data[0] == 0);
        if (utf16Line)
            return {Verdict::Utf16Line, k};
    }
    if (alive && scan.firstLineEnd >= 0)
        return {Verdict::EightBitLine, scan.firstLineEnd + 1};
    return {Verdict::LongEightBitLine, 0};
}

// Whether an 8-bit line end byte after the start of a line in 8-bit output may be the low byte of
// a UTF-16 character (不 0D 4E, 上 0A 4E), so that the line must wait for its next bytes: only
// where the line so far has shown NULs of UTF-16 structure, or reads as UTF-16 CJK text (every
// unit CJK, some byte beyond ASCII, not UTF-8). Most 8-bit lines would be plausible UTF-16 up to
// there (ASCII letters pair into ideographs), and are shown at once.
bool ConsoleDecoder::mayBeUtf16Cjk(const Scan &line, QByteArrayView before)
{
    if (line.evidence > 0 || line.mayBeUtf16)
        return true;
    return line.cjk && (line.bytesOr & 0x80) &&
           !forEachUtf8CodePoint(before, [](char32_t, int) { return true; });
}

// Whether `unit` goes on a plausible UTF-16 line; surrogates must pair. Once the line has shown a
// NUL, anything goes but the units that 8-bit line ends give (U+0Axx, U+0Dxx).
bool ConsoleDecoder::takesUnit(Scan &line, char16_t unit)
{
    const unsigned high = unit >> 8;
    if (line.highSurrogate) {
        line.highSurrogate = false;
        return high >= 0xdc && high <= 0xdf;
    }
    if (high >= 0xd8 && high <= 0xdb) {
        line.highSurrogate = true;
        return true;
    }
    if (line.evidence > 0)
        return unit != 0 && high != 0x0a && high != 0x0d && unit < 0xfffe &&
               (high < 0xdc || high > 0xdf);
    switch (kUnitsOfHighByte[high]) {
    case EveryUnit:
        return true;
    case NoUnit:
        return false;
    default:
        return isPlausibleUnit(unit);
    }
}

void ConsoleDecoder::endEightBitLine(char lineEnd)
{
    mode = Mode::EightBit;
    previousEnd = lineEnd;
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
        appendEightBit(QByteArrayView(data + position, end - position), lineReading, out);
        endEightBitLine(data[end - 1]);
        return end - position;
    }
    const unsigned readIn = lineReading == Reading::Utf8     ? kUtf8
                            : lineReading == Reading::Legacy ? legacyCodePage
                                                             : codePage;
    const qsizetype tail = incompleteTail(QByteArrayView(data + position, size - position), readIn);
    if (!atEnd)
        end -= tail;
    else if (tail > 0) {
        appendEightBit(QByteArrayView(data + position, end - tail - position), lineReading, out);
        flushRun(out);
        out += QChar::ReplacementCharacter;
        return end - position;
    }
    appendEightBit(QByteArrayView(data + position, end - position), lineReading, out);
    return end - position;
}

ConsoleDecoder::Reading ConsoleDecoder::readingOf(QByteArrayView span) const
{
    if (!hasNonAscii(span))
        return Reading::Any;
    if (span.contains('\0'))
        return readingOf(withoutNuls(span));
    if (codePage == kUtf8) {
        if (forEachUtf8CodePoint(span, [](char32_t, int) { return true; }) || legacyCodePage == 0)
            return Reading::Utf8;
        bool valid = false;
        ConsoleCodePage::decode(legacyCodePage, span, &valid);
        return valid ? Reading::Legacy : Reading::Utf8;
    }
    const bool utf8 = isDoubleByteCodePage(codePage) ? meansUtf8BesideDoubleByte(span)
                                                     : meansUtf8BesideSingleByte(span);
    return utf8 ? Reading::Utf8 : Reading::CodePage;
}

// Consecutive spans read alike are decoded together: most output is many short lines.
void ConsoleDecoder::appendEightBit(QByteArrayView span, Reading reading, QString &out,
                                    bool mayHoldNul)
{
    if (span.isEmpty())
        return;
    if (mayHoldNul && span.contains('\0')) {
        // Dropped before decoding, so that the bytes around a NUL read as if it were not there.
        flushRun(out);
        out += decodeEightBit(withoutNuls(span), reading);
        return;
    }
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
    out += decodeEightBit(QByteArrayView(held.constData() + run.start, run.size), run.reading);
    run.size = 0;
}

QString ConsoleDecoder::decodeEightBit(QByteArrayView bytes, Reading reading)
{
    switch (reading) {
    case Reading::Utf8:
        return utf8.decode(bytes);
    case Reading::Legacy:
        return ConsoleCodePage::decode(legacyCodePage, bytes);
    case Reading::Any:
    case Reading::CodePage:
        break;
    }
    return codePage == kUtf8 ? QString(utf8.decode(bytes))
                             : ConsoleCodePage::decode(codePage, bytes);
}

void ConsoleDecoder::appendUtf16(QByteArrayView bytes, QString &out)
{
    QString text = utf16.decode(bytes.first(bytes.size() - bytes.size() % 2));
    // Byte order marks say nothing the units have not said, wherever the reads cut the line; a
    // NUL unit shows nothing.
    text.remove(QChar(0xfeff));
    text.remove(QChar(0));
    out += text;
    if (bytes.size() % 2)
        out += QChar::ReplacementCharacter;
}

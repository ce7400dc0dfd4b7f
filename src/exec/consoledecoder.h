#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Turns a child's output, arriving in chunks, into text, as the programs meant it. Most console
// programs write in the console's code page (the OEM code page on Windows, UTF-8 elsewhere), but
// not all, and several may write into the same pipe in one run:
// - Some write UTF-16LE (sfc, `cmd /u`, wsl). A line is read as UTF-16LE where its bytes show
//   UTF-16 structure: its units are characters that such text holds, up to a line end unit
//   ("\r\0", "\n\0"), or with NULs at a steady rate where the line has no end. An 8-bit line end
//   that no UTF-16 unit explains (CR LF, an LF after an odd number of bytes, GBK bytes that are
//   no characters as UTF-16) brings 8-bit text back. A byte order mark is dropped.
// - A NUL in 8-bit text (a C string's terminator, padding, a binary file) is dropped and changes
//   nothing else.
// - Some write UTF-8 whatever the code page (git, Python, `chcp 65001`). Under a double-byte code
//   page a valid UTF-8 line is read as UTF-8 when it holds CJK, kana, Hangul, punctuation,
//   symbols or emoji: GBK text is often valid UTF-8 too, but then of two-byte letters ("系统"
//   reads "ϵͳ") or rare ideographs. Under code page 65001 a line that is not valid UTF-8 is read
//   in the locale's legacy code page.
// A line is decided once its bytes show how to read it: most at their line end; one whose line
// end byte may be the low byte of a UTF-16 character (不 0D 4E, 上 0A 4E: a line that begins with
// it, UTF-16 CJK text so far, NULs of UTF-16 structure, any line of a UTF-16 run) once the bytes
// after it settle that, at the latest at 4 KB or at the end. So a character split between two
// chunks, or a line split anywhere, gives the same text as the whole stream at once. The undecided
// line is scanned once, however it arrives.
class ConsoleDecoder
{
public:
    ConsoleDecoder();
    // Decodes 8-bit text in the given code page instead of the console's (Windows code page
    // numbers; elsewhere as far as the system's converters know them), and, under 65001, lines
    // that are not UTF-8 in `legacyCodePage` (0: none) instead of the locale's.
    explicit ConsoleDecoder(unsigned codePage);
    ConsoleDecoder(unsigned codePage, unsigned legacyCodePage);

    QString decode(QByteArrayView bytes);
    // The end of the output: what is still held back, a character left incomplete as one
    // replacement character. The decoder then starts over.
    QString finish();
    // What finish() would give now, leaving the decoder as it is: a line still undecided.
    QString undecidedText() const;
    // Forgets the line still undecided, as when the view is emptied: what arrived before is never
    // shown. Whether the output is UTF-16 or 8-bit stays known, and so do the bytes that began a
    // character not yet complete, so that the rest of the line is read in step.
    void discardUndecided();

    // The text of a whole output given at once.
    static QString decodeAll(QByteArrayView bytes);

private:
    enum class Mode
    {
        EightBit,
        Utf16
    };
    // How an 8-bit span is read; ASCII reads alike in all of them.
    enum class Reading
    {
        Any,
        CodePage,
        Utf8,
        Legacy
    };
    // Bytes of `held` read alike, waiting to be decoded together.
    struct Run
    {
        qsizetype start = 0;
        qsizetype size = 0;
        Reading reading = Reading::Any;
    };
    // What the undecided line's bytes have shown so far; offsets count from its first byte.
    struct Scan
    {
        qsizetype scanned = 0;
        // Every unit so far is a character UTF-16LE text holds.
        bool utf16 = true;
        // NUL bytes and byte order marks among those units.
        qsizetype evidence = 0;
        bool highSurrogate = false;
        // The first CR or LF byte that begins a unit, an 8-bit line end unless the line is UTF-16.
        qsizetype firstLineEnd = -1;
        // Every unit so far is a CJK character.
        bool cjk = true;
        // The rest of a line that may be UTF-16, whose start the view no longer wants.
        bool mayBeUtf16 = false;
        // What the scanned bytes hold, at least: bit 7 set somewhere, a NUL.
        unsigned char bytesOr = 0;
        bool nul = false;
    };
    struct Verdict
    {
        enum Kind
        {
            Wait,
            Utf16Line,
            EightBitLine,
            LongUtf16Line,
            LongEightBitLine
        } kind = Wait;
        qsizetype end = 0;
    };

    void consume(bool atEnd, QString &out);
    qsizetype takeLine(qsizetype position, bool atEnd, QString &out);
    Verdict scanLine(QByteArrayView line, bool atEnd);
    static bool takesUnit(Scan &line, char16_t unit);
    static bool mayBeUtf16Cjk(const Scan &line, QByteArrayView before);
    qsizetype continueLine(qsizetype position, bool atEnd, QString &out);
    void endEightBitLine(char lineEnd);
    void appendEightBit(QByteArrayView span, Reading reading, QString &out, bool mayHoldNul = true);
    void flushRun(QString &out);
    QString decodeEightBit(QByteArrayView bytes, Reading reading);
    void appendUtf16(QByteArrayView bytes, QString &out);
    Reading readingOf(QByteArrayView span) const;

    unsigned codePage = 0;
    // The code page of the locale, for lines that are not UTF-8 under code page 65001; 0 for none.
    unsigned legacyCodePage = 0;
    Mode mode = Mode::EightBit;
    // The CR or LF that ended the last 8-bit line: an LF next completes a CR LF; a NUL next
    // makes it a UTF-16 line end after all.
    char previousEnd = 0;
    // A long line already decided: the rest of it is read the same way as it comes.
    bool lineDecided = false;
    Reading lineReading = Reading::Any;
    // Bytes not yet decoded: the current line while it is undecided, or an incomplete character.
    QByteArray held;
    Scan scan;
    Run run;
    QStringDecoder utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QStringDecoder utf16{QStringConverter::Utf16LE, QStringConverter::Flag::Stateless};
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Turns a child's output, arriving in chunks, into text, as the programs meant it. Most console
// programs write in the console's code page (the OEM code page on Windows, UTF-8 elsewhere), but
// not all, and several may write into the same pipe in one run:
// - Some write UTF-16LE (sfc, `cmd /u`, wsl). Their text has NUL bytes, which text in any 8-bit
//   code page never has, so each line is read as UTF-16LE where its NUL bytes say so, and as
//   8-bit text again once a line without them follows. A byte order mark is dropped.
// - Some write UTF-8 whatever the code page (git, Python, `chcp 65001`). Under a double-byte code
//   page a line that is valid UTF-8 and whose other characters are all CJK or punctuation is read
//   as UTF-8: GBK text is often valid UTF-8 too, but then of other scripts ("系统" reads "ϵͳ").
//   Under code page 65001 a line that is not valid UTF-8 is read in the locale's legacy code page.
// A line is decided once it has ended (or has grown long), so a character split between two
// chunks, or a line split anywhere, gives the same text as the whole stream at once.
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
    // Drops the line still held (once it has been shown otherwise); the run goes on in its mode.
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

    qsizetype takeLine(qsizetype position, bool atEnd, QString &out);
    qsizetype takeEightBitLine(qsizetype position, bool atEnd, QString &out);
    qsizetype takeUtf16Line(qsizetype position, bool atEnd, QString &out);
    qsizetype continueLine(qsizetype position, bool atEnd, QString &out);
    void appendEightBit(QByteArrayView span, Reading reading, QString &out);
    void flushRun(QString &out);
    void appendUtf16(QByteArrayView bytes, QString &out);
    Reading readingOf(QByteArrayView span) const;

    unsigned codePage = 0;
    // The code page of the locale, for lines that are not UTF-8 under code page 65001; 0 for none.
    unsigned legacyCodePage = 0;
    Mode mode = Mode::EightBit;
    // A long line already decided: the rest of it is read the same way as it comes.
    bool lineDecided = false;
    Reading lineReading = Reading::Any;
    // Bytes not yet decoded: the current line while it is undecided, or an incomplete character.
    QByteArray held;
    Run run;
    QStringDecoder utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QStringDecoder utf16{QStringConverter::Utf16LE, QStringConverter::Flag::Stateless};
};

#include "exec/consoledecoder.h"
#include "exec/consolelines.h"
#include "testmain.h"

namespace {
bool systemEncodingIsUtf8()
{
    QStringDecoder probe(QStringConverter::System);
    return probe.decode(QByteArray("\xe4\xb8\xad")) == QStringLiteral("中");
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// What a view shows after taking the edits of `chunks` in turn, as the output pane does.
QString shownAfter(const QStringList &chunks)
{
    ConsoleLines lines;
    QString shown;
    for (const QString &chunk : chunks) {
        const ConsoleLines::Edit edit = lines.feed(chunk);
        const qsizetype lineStart = shown.lastIndexOf(QLatin1Char('\n')) + 1;
        shown = shown.left(lineStart + edit.column) + edit.text;
    }
    return shown;
}
} // namespace

class ConsoleDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void splitCharacterIsCompletedByTheNextChunk();
    void anySplitGivesTheTextOfTheWholeStream();
    void windowsWritersAreShownAsMeant_data();
    void windowsWritersAreShownAsMeant();
    void consoleLineRules_data();
    void consoleLineRules();
    void consoleLinesAreTheSameHoweverTheOutputIsSplit();
};

void ConsoleDecoderTest::splitCharacterIsCompletedByTheNextChunk()
{
    // The system encoding of the POSIX stand-in is UTF-8; Windows' ANSI code pages are covered
    // by the Windows build's own tests.
    if (!systemEncodingIsUtf8())
        QSKIP("needs a UTF-8 system encoding");
    // A line is decided once it has ended, and shown then.
    ConsoleDecoder decoder;
    const QByteArray bytes = QStringLiteral("中文 ok\n").toUtf8();
    QCOMPARE(decoder.decode(bytes.left(1)), QString());
    QCOMPARE(decoder.decode(bytes.mid(1, 3)), QString());
    QCOMPARE(decoder.decode(bytes.mid(4)), QStringLiteral("中文 ok\n"));
}

void ConsoleDecoderTest::anySplitGivesTheTextOfTheWholeStream()
{
    if (!systemEncodingIsUtf8())
        QSKIP("needs a UTF-8 system encoding");
    // Valid text mixed with invalid and truncated sequences; every split point of every prefix.
    static const char bytes[] = "a\xe4\xb8\xad\xd9\xd9\x8f\xc2\xef\x90\xf5\xe0\x80\xed\xa0\x80"
                                "\xf0\x9f\x98\x80\xcb\xb8z\x00\xff\r\n";
    const QByteArray stream(bytes, sizeof(bytes) - 1);
    for (qsizetype end = 0; end <= stream.size(); ++end) {
        const QByteArray part = stream.left(end);
        const QString expected = ConsoleDecoder::decodeAll(part);
        for (qsizetype split = 0; split <= part.size(); ++split) {
            ConsoleDecoder chunked;
            QString actual = chunked.decode(part.left(split));
            actual += chunked.decode(part.mid(split));
            actual += chunked.finish();
            QVERIFY2(actual == expected,
                     qPrintable(QStringLiteral("end %1, split %2").arg(end).arg(split)));
        }
    }
    // The replacement characters of invalid bytes are all there, not only the valid text.
    QCOMPARE(ConsoleDecoder::decodeAll(QByteArray("\xd9\xcb\xf5", 3)),
             QString(3, QChar::ReplacementCharacter));
}

void ConsoleDecoderTest::windowsWritersAreShownAsMeant_data()
{
    // What programs write into a pipe on Windows, in the code page given (0: the console's; the
    // rows use ASCII for it, which every console code page shares).
    QTest::addColumn<uint>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    const QString progress = QStringLiteral("验证 5% 已完成。\r验证 100% 已完成。\r\n");
    QTest::newRow("sfc: UTF-16LE with a progress line")
        << 0u << utf16(QStringLiteral("\r\n开始系统扫描。\r\n") + progress)
        << QStringLiteral("\n开始系统扫描。\n验证 100% 已完成。\n");
    QTest::newRow("UTF-16LE with a byte order mark and a surrogate pair")
        << 0u << QByteArray("\xff\xfe") + utf16(QStringLiteral("ok 😀\r\n"))
        << QStringLiteral("ok 😀\n");
    QTest::newRow("the interpreter's text around a UTF-16 program")
        << 0u << "before\r\n" + utf16(QStringLiteral("sfc 完成\r\n")) + "after\r\n"
        << QStringLiteral("before\nsfc 完成\nafter\n");
    QTest::newRow("GBK after UTF-16")
        << 936u << utf16(QStringLiteral("sfc\r\n")) + "\xcd\xea\xb3\xc9\r\n"
        << QStringLiteral("sfc\n完成\n");
    // 上 is 0A 4E and 不 is 0D 4E: an LF and a CR byte inside a code unit.
    QTest::newRow("pure CJK UTF-16 line with LF and CR bytes in its units")
        << 0u << utf16(QStringLiteral("Windows 资源保护\r\n上不\r\n"))
        << QStringLiteral("Windows 资源保护\n上不\n");
    QTest::newRow("UTF-8 under 936, GBK that is also valid UTF-8 stays GBK")
        << 936u << QStringLiteral("驱动器 C 中的卷\r\n").toUtf8() + "\xcf\xb5\xcd\xb3\r\n"
        << QStringLiteral("驱动器 C 中的卷\n系统\n");
    // Under 65001 with a Chinese locale, whose older programs still write GBK.
    QTest::newRow("GBK under 65001")
        << 65001u << "\xcd\xea\xb3\xc9\r\n" + QStringLiteral("中\r\n").toUtf8()
        << QStringLiteral("完成\n中\n");
    QTest::newRow("a UTF-16 line cut off at the end of the output")
        << 0u << utf16(QStringLiteral("ok")) + "A" << QStringLiteral("ok\uFFFD");
    QTest::newRow("backspace, form feed, BEL") << 0u
                                               << QByteArray("\x0c\x07"
                                                             "ab\x08"
                                                             "c\r\n12\x08\x08\x08"
                                                             "34\n")
                                               << QStringLiteral("ac\n34\n");
    QTest::newRow("ANSI escape sequences")
        << 0u << QByteArray("\x1b[32;1mgreen\x1b[0m\x1b]0;title\x07 \x1b(Bend\r\n")
        << QStringLiteral("green end\n");
}

void ConsoleDecoderTest::windowsWritersAreShownAsMeant()
{
    QFETCH(uint, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const auto decoder = [codePage] {
        if (codePage == 65001)
            return ConsoleDecoder(codePage, 936);
        return codePage ? ConsoleDecoder(codePage) : ConsoleDecoder();
    };
    ConsoleDecoder whole = decoder();
    QString text = whole.decode(bytes);
    text += whole.finish();
    QCOMPARE(ConsoleLines::text(text), shown);
    QVERIFY(!text.contains(QChar(0)));
    // However the pipe splits the reads.
    for (qsizetype first = 0; first <= bytes.size(); ++first) {
        for (qsizetype second = first; second <= bytes.size(); ++second) {
            ConsoleDecoder chunked = decoder();
            QStringList chunks;
            for (const QByteArray &part :
                 {bytes.left(first), bytes.mid(first, second - first), bytes.mid(second)})
                chunks << chunked.decode(part);
            chunks << chunked.finish();
            QVERIFY2(shownAfter(chunks) == shown,
                     qPrintable(QStringLiteral("split at %1 and %2").arg(first).arg(second)));
        }
    }
}

void ConsoleDecoderTest::consoleLineRules_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("shown");
    QTest::newRow("LF") << "a\nb\n"
                        << "a\nb\n";
    QTest::newRow("CR LF, as Windows programs write") << "a\r\nb\r\n"
                                                      << "a\nb\n";
    QTest::newRow("CR CR LF, as wmic writes to a pipe") << "a\r\r\nb\r\r\n"
                                                        << "a\nb\n";
    QTest::newRow("progress counter") << "1%\r50%\r100%\r\ndone\n"
                                      << "100%\ndone\n";
    QTest::newRow("shorter overwrite keeps the rest") << "12345\rab"
                                                      << "ab345";
    QTest::newRow("CR left at the end") << "line\r"
                                        << "line";
    QTest::newRow("empty lines stay") << "\n\r\n\n"
                                      << "\n\n\n";
    QTest::newRow("Chinese progress line")
        << QStringLiteral("验证 9% 已完成。\r验证 10% 已完成。\r\n")
        << QStringLiteral("验证 10% 已完成。\n");
}

void ConsoleDecoderTest::consoleLineRules()
{
    QFETCH(QString, output);
    QFETCH(QString, shown);
    QCOMPARE(ConsoleLines::text(output), shown);
    QCOMPARE(shownAfter({output}), shown);
}

void ConsoleDecoderTest::consoleLinesAreTheSameHoweverTheOutputIsSplit()
{
    const QString output = QStringLiteral("abc\r\r\nx\r12345\rab\r\n\rz\n9%\r10%\r\r");
    const QString whole = ConsoleLines::text(output);
    QCOMPARE(whole, QStringLiteral("abc\nab345\nz\n10%"));
    for (qsizetype first = 0; first <= output.size(); ++first) {
        for (qsizetype second = first; second <= output.size(); ++second) {
            const QStringList chunks = {output.left(first), output.mid(first, second - first),
                                        output.mid(second)};
            QVERIFY2(shownAfter(chunks) == whole,
                     qPrintable(QStringLiteral("split at %1 and %2").arg(first).arg(second)));
        }
    }
}

QUILLWICK_TEST_MAIN(ConsoleDecoderTest)
#include "tst_consoledecoder.moc"

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
    void clearForgetsTheUndecidedLine_data();
    void clearForgetsTheUndecidedLine();
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
    // A NUL in 8-bit text: a C string's terminator, padding, `type` of a binary file.
    QTest::newRow("a stray NUL in GBK spoils nothing after it")
        << 936u
        << QByteArray::fromHex("b5dad2bbd0d00d0a"
                               "b5dab6fe00d0d00d0a"
                               "b5dac8fdd0d00d0a")
        << QStringLiteral("第一行\n第二行\n第三行\n");
    QTest::newRow("binary stretch, then text (type app.exe & echo 完成)")
        << 936u
        << QByteArray("MZ\x03\0\0\0\x04\0\0\0@\0\0\0\x0e\x1fThis program cannot be run in DOS "
                      "mode.\r\r\n$\0\0\0\0\0\0\0PE\0\0L\x01\x03\0\r\n",
                      76) +
               QByteArray::fromHex("cdeab3c90d0a")
        << QStringLiteral("MZ@This program cannot be run in DOS mode.\n$PEL\n完成\n");
    QTest::newRow("NULs in LF-only text")
        << 0u << QByteArray("ab\0c\nd\0\n\0ef\n", 12) << QStringLiteral("abc\nd\nef\n");
    // Units with LF, CR or NUL bytes before the line's first NUL: 不 0D 4E, 服 0D 67, 名 0D 54,
    // 上 0A 4E, 开 00 5F.
    QTest::newRow("cmd /u /c echo 不存在")
        << 0u << utf16(QStringLiteral("不存在\r\n")) << QStringLiteral("不存在\n");
    QTest::newRow("cmd /u between GBK lines")
        << 936u
        << QByteArray::fromHex("b5dad2bbd0d0200d0a") + utf16(QStringLiteral("不存在 \r\n")) +
               QByteArray::fromHex("cdeab3c90d0a")
        << QStringLiteral("第一行 \n不存在 \n完成\n");
    QTest::newRow("UTF-16 table heading after 8-bit text")
        << 0u
        << "sc query\r\n" + utf16(QStringLiteral("服务名称 状态\r\n上线\r\n")) + "x\r\n" +
               utf16(QStringLiteral("系统找不到指定的文件。\r\n"))
        << QStringLiteral("sc query\n服务名称 状态\n上线\nx\n系统找不到指定的文件。\n");
    QTest::newRow("UTF-16 without a line end, starting with a U+xx00 character")
        << 0u << utf16(QStringLiteral("开始扫描")) << QStringLiteral("开始扫描");
    QTest::newRow("LF-only 8-bit text between UTF-16 lines")
        << 0u
        << utf16(QStringLiteral("开始\r\n")) + "ok\ncommit 1a2b\n" +
               utf16(QStringLiteral("不存在\r\n"))
        << QStringLiteral("开始\nok\ncommit 1a2b\n不存在\n");
    const QString longCjk = QStringLiteral("中文").repeated(1100);
    QTest::newRow("a UTF-16 run's CJK line with no NUL in 4 KB")
        << 0u << utf16(QStringLiteral("sfc\r\n") + longCjk + QStringLiteral("\r\n"))
        << QStringLiteral("sfc\n") + longCjk + QStringLiteral("\n");
    QTest::newRow("a byte order mark inside a UTF-16 line")
        << 0u << utf16(QStringLiteral("a\r\nb\uFEFFc\r\n")) << QStringLiteral("a\nbc\n");
    // A column cut inside a double-byte character: MultiByteToWideChar would take the line end as
    // its second byte.
    QTest::newRow("a lone lead byte keeps the line end") << 936u
                                                         << QByteArray::fromHex("b5dace0ab6fece0d"
                                                                                "b5da0d0a")
                                                         << QStringLiteral("第\uFFFD\n第\uFFFD\n");
    // UTF-8 lines under a double-byte code page (git, Python, chcp 65001), and GBK, Shift-JIS and
    // 866 words that happen to be valid UTF-8 of two-byte letters or rare ideographs.
    QTest::newRow("UTF-8 lines with letters, symbols and emoji under 936")
        << 936u
        << QStringLiteral("café 简历.txt\n修复登录问题 🎉\n温度: 45°C\n├── 文档\n同步 → 完成\n✓ "
                          "测试通过\n")
               .toUtf8()
        << QStringLiteral("café 简历.txt\n修复登录问题 🎉\n温度: 45°C\n├── 文档\n同步 → 完成\n✓ "
                          "测试通过\n");
    QTest::newRow("GBK words that read as rare ideographs stay GBK")
        << 936u
        << QByteArray::fromHex("f0a4b8bd0d0a"
                               "f0aebdad0d0a"
                               "f0b2b6be20f0a4bdba0d0a")
        << QStringLiteral("黏附\n甬江\n鸩毒 黏胶\n");
    QTest::newRow("Shift-JIS words that read as Extension A stay Shift-JIS")
        << 932u
        << QByteArray::fromHex("e3b592700d0a"
                               "e3b797720d0a")
        << QStringLiteral("羞恥\n羚羊\n");
    QTest::newRow("a Russian word in 866 that reads as an ideograph")
        << 866u
        << QByteArray::fromHex("e3a6a50d0a"
                               "e5aea40d0a")
        << QStringLiteral("уже\nход\n");
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
    // However the pipe splits the reads (long streams at every few bytes).
    const qsizetype step = std::max<qsizetype>(1, bytes.size() / 150);
    for (qsizetype first = 0; first <= bytes.size(); first += step) {
        for (qsizetype second = first; second <= bytes.size(); second += step) {
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

void ConsoleDecoderTest::clearForgetsTheUndecidedLine_data()
{
    // What arrives before and after "清空输出", and the text of what arrives after. A character
    // cut by the clear is completed, so that the rest of the line is read in step.
    QTest::addColumn<uint>("codePage");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("text");
    QTest::newRow("8-bit prompt") << 0u << QByteArray("done\r\nabc") << QByteArray("def\r\n")
                                  << QStringLiteral("def\r\n");
    QTest::newRow("UTF-16, cut inside a character")
        << 0u << utf16(QStringLiteral("ok\r\nab")).chopped(1)
        << QByteArray(1, '\0') + utf16(QStringLiteral("cd\r\n")) << QStringLiteral("bcd\r\n");
    QTest::newRow("a line that may be UTF-16, cut inside a character")
        << 0u << "ok\r\n" + utf16(QStringLiteral("不存在")).left(3)
        << utf16(QStringLiteral("不存在\r\n")).mid(3) << QStringLiteral("存在\r\n");
    QTest::newRow("GBK, cut inside a character")
        << 936u << QByteArray::fromHex("cdeab3c90d0ab5dab6") << QByteArray::fromHex("fed0d00d0a")
        << QStringLiteral("二行\r\n");
}

void ConsoleDecoderTest::clearForgetsTheUndecidedLine()
{
    QFETCH(uint, codePage);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, text);
    ConsoleDecoder decoder = codePage ? ConsoleDecoder(codePage) : ConsoleDecoder();
    decoder.decode(before);
    QVERIFY(!decoder.undecidedText().isEmpty());
    decoder.discardUndecided();
    QString shown = decoder.decode(after);
    shown += decoder.finish();
    QCOMPARE(shown, text);
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
    // A console counts cells: a CJK character takes two, and a narrow character written over
    // half of one leaves a space for the other half, as conhost does.
    QTest::newRow("CR overwrites by cells")
        << QStringLiteral("中文\rab\n中文\ra\na中\rbc\nabc\r中\n")
        << QStringLiteral("ab文\na 文\nbc \n中c\n");
    QTest::newRow("backspace steps over a wide character or a tab")
        << QStringLiteral("中\bx\n🎉ok\b\b\b\by\nab\t\bx\n")
        << QStringLiteral("x \ny ok\nabx     \n");
    QTest::newRow("TAB reaches the next 8 cells") << QStringLiteral("名称\t状态\r\nab\tc\rxyz\n")
                                                  << QStringLiteral("名称\t状态\nxyz     c\n");
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
    const QString output =
        QStringLiteral("abc\r\r\nx\r12345\rab\r\n\rz\n中文\rab\t|\b\b!\n9%\r10%\r\r");
    const QString whole = ConsoleLines::text(output);
    QCOMPARE(whole, QStringLiteral("abc\nab345\nz\nab!     |\n10%"));
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

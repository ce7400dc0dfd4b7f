#include "exec/consoledecoder.h"
#include "exec/consolelines.h"
#include "testmain.h"

namespace {
bool systemEncodingIsUtf8()
{
    QStringDecoder probe(QStringConverter::System);
    return probe.decode(QByteArray("\xe4\xb8\xad")) == QStringLiteral("中");
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
    ConsoleDecoder decoder;
    const QByteArray bytes = QStringLiteral("中文 ok").toUtf8();
    QCOMPARE(decoder.decode(bytes.left(1)), QString());
    QCOMPARE(decoder.decode(bytes.mid(1, 3)), QStringLiteral("中"));
    QCOMPARE(decoder.decode(bytes.mid(4)), QStringLiteral("文 ok"));
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
        ConsoleDecoder whole;
        const QString expected = whole.decode(part);
        for (qsizetype split = 0; split <= part.size(); ++split) {
            ConsoleDecoder chunked;
            QString actual = chunked.decode(part.left(split));
            actual += chunked.decode(part.mid(split));
            QVERIFY2(actual == expected,
                     qPrintable(QStringLiteral("end %1, split %2").arg(end).arg(split)));
        }
    }
    // The replacement characters of invalid bytes are all there, not only the valid text.
    ConsoleDecoder decoder;
    QCOMPARE(decoder.decode(QByteArray("\xd9\xcb\xf5", 3)),
             QString(3, QChar::ReplacementCharacter));
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

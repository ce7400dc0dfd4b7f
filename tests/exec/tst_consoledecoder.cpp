#include "exec/consoledecoder.h"
#include "testmain.h"

namespace {
bool systemEncodingIsUtf8()
{
    QStringDecoder probe(QStringConverter::System);
    return probe.decode(QByteArray("\xe4\xb8\xad")) == QStringLiteral("中");
}
} // namespace

class ConsoleDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void splitCharacterIsCompletedByTheNextChunk();
    void anySplitGivesTheTextOfTheWholeStream();
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

QUILLWICK_TEST_MAIN(ConsoleDecoderTest)
#include "tst_consoledecoder.moc"

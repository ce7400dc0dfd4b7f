#include "exec/consoledecoder.h"

// The ANSI code page decoder of the platform carries a split double-byte character over to the
// next chunk itself.
ConsoleDecoder::ConsoleDecoder()
    : decoder(QStringConverter::System)
{}

QString ConsoleDecoder::decode(const QByteArray &bytes)
{
    return decoder.decode(bytes);
}

void ConsoleDecoder::resetState()
{
    decoder.resetState();
}

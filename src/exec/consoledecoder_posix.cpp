#include "exec/consoledecoder.h"

// Terminals and pipes carry UTF-8 here; there are no code pages to choose from.
ConsoleDecoder::ConsoleDecoder() = default;

QString ConsoleDecoder::decode(const QByteArray &bytes)
{
    return decodeUtf8(bytes);
}

// Fuzzes console decoding: output bytes split at arbitrary points must decode, chunk by chunk
// through one decoder, to exactly the text of the whole stream decoded at once.
#include "exec/consoledecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the split points; the rest is the child's output.
    const unsigned seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ConsoleDecoder whole;
    const QString expected = whole.decode(stream);

    ConsoleDecoder chunked;
    QString actual;
    qsizetype position = 0;
    unsigned step = seed;
    while (position < stream.size()) {
        step = step * 1103515245u + 12345u;
        const qsizetype length = qMin<qsizetype>(stream.size() - position, 1 + (step >> 16) % 7);
        actual += chunked.decode(stream.mid(position, length));
        position += length;
    }
    if (actual != expected)
        std::abort();
    return 0;
}

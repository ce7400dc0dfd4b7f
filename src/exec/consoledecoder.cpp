#include "exec/consoledecoder.h"

namespace {

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
qsizetype incompleteTail(const QByteArray &bytes)
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

} // namespace

// Qt 6.4's stateful UTF-8 decoder can drop a replacement character when an invalid sequence is
// split between two chunks, so the incomplete tail is held back here and every chunk is decoded
// whole.
QString ConsoleDecoder::decodeUtf8(const QByteArray &bytes)
{
    QByteArray data = pending + bytes;
    const qsizetype tail = incompleteTail(data);
    pending = data.right(tail);
    data.chop(tail);
    return utf8.decode(data);
}

void ConsoleDecoder::resetState()
{
    pending.clear();
    utf8.resetState();
}

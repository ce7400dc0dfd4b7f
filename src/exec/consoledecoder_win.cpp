#include "exec/consoledecoder.h"

#include <windows.h>

// cmd.exe's built-ins and console programs write to a pipe in the code page of their console,
// which is the OEM code page, not the ANSI one: the two differ on every Western or Cyrillic
// system (437 or 850 against 1252, 866 against 1251).
ConsoleDecoder::ConsoleDecoder()
    : ConsoleDecoder(GetOEMCP())
{}

ConsoleDecoder::ConsoleDecoder(unsigned codePage)
    : codePage(codePage)
{}

QString ConsoleDecoder::decode(const QByteArray &bytes)
{
    if (codePage == CP_UTF8)
        return decodeUtf8(bytes);

    QByteArray data = pending + bytes;
    pending.clear();
    // A trailing lead byte of a double-byte code page waits for its second byte. Walking from the
    // start tells a lead byte from a second byte that happens to share its value.
    qsizetype position = 0;
    while (position < data.size()) {
        const auto byte = static_cast<BYTE>(data.at(position));
        position += IsDBCSLeadByteEx(codePage, byte) ? 2 : 1;
    }
    if (position > data.size()) {
        pending = data.right(1);
        data.chop(1);
    }
    if (data.isEmpty())
        return {};

    const int size = int(data.size());
    const int length = MultiByteToWideChar(codePage, 0, data.constData(), size, nullptr, 0);
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(codePage, 0, data.constData(), size,
                        reinterpret_cast<wchar_t *>(text.data()), length);
    return text;
}

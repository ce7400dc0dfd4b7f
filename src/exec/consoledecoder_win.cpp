#include "exec/consoledecoder_platform.h"

#include <windows.h>

namespace ConsoleCodePage {

// cmd.exe's built-ins and console programs write to a pipe in the code page of their console,
// which is the OEM code page, not the ANSI one: the two differ on every Western or Cyrillic
// system (437 or 850 against 1252, 866 against 1251).
unsigned console()
{
    return GetOEMCP();
}

// With "Beta: Use Unicode UTF-8 for worldwide language support" both code pages are 65001; the
// locale still names the OEM code page its older programs were written for.
unsigned legacy()
{
    wchar_t number[8] = {};
    if (!GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE, number, 8))
        return 0;
    const unsigned codePage = unsigned(wcstoul(number, nullptr, 10));
    return codePage == CP_UTF8 || !IsValidCodePage(codePage) ? 0 : codePage;
}

bool isLeadByte(unsigned codePage, char byte)
{
    return IsDBCSLeadByteEx(codePage, BYTE(byte));
}

namespace {

// MultiByteToWideChar over whole characters.
QString convert(unsigned codePage, QByteArrayView bytes, bool *valid)
{
    if (bytes.isEmpty())
        return {};
    const int size = int(bytes.size());
    DWORD flags = MB_ERR_INVALID_CHARS;
    int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length == 0) {
        *valid = false;
        flags = 0;
        length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    }
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(codePage, flags, bytes.data(), size,
                        reinterpret_cast<wchar_t *>(text.data()), length);
    return text;
}

} // namespace

// MultiByteToWideChar takes the byte after a lead byte as its second byte even when it is a CR or
// an LF, which would join two lines or keep a progress line from returning. No double-byte code
// page has CR or LF as a second byte, so the text is cut after a lead byte left alone before a
// line end, and that lead byte is one replacement character.
QString decode(unsigned codePage, QByteArrayView bytes, bool *valid)
{
    bool allValid = true;
    CPINFO info = {};
    const bool doubleByte = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
    QString text;
    qsizetype start = 0;
    bool secondByte = false;
    for (qsizetype i = 0; doubleByte && i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (!secondByte && byte >= 0x80) {
            secondByte = IsDBCSLeadByteEx(codePage, byte);
            continue;
        }
        if (secondByte && (byte == '\r' || byte == '\n')) {
            text += convert(codePage, bytes.sliced(start, i - 1 - start), &allValid);
            text += QChar::ReplacementCharacter;
            allValid = false;
            start = i;
        }
        secondByte = false;
    }
    text += convert(codePage, bytes.sliced(start), &allValid);
    if (valid)
        *valid = allValid;
    return text;
}

} // namespace ConsoleCodePage

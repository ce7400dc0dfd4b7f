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

QString decode(unsigned codePage, QByteArrayView bytes, bool *valid)
{
    if (valid)
        *valid = true;
    if (bytes.isEmpty())
        return {};
    const int size = int(bytes.size());
    DWORD flags = MB_ERR_INVALID_CHARS;
    int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length == 0) {
        if (valid)
            *valid = false;
        flags = 0;
        length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    }
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(codePage, flags, bytes.data(), size,
                        reinterpret_cast<wchar_t *>(text.data()), length);
    return text;
}

} // namespace ConsoleCodePage

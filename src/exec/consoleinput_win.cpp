#include "exec/consoleinput.h"

#include <QString>

#include <windows.h>

namespace ConsoleInput {

// A console hands its programs what the user typed in its input code page, which is the OEM code
// page unless chcp changed it, with CR LF for Enter: `set /p`, `sort` and `more` read that.
QByteArray encode(QStringView text, unsigned codePage)
{
    QString typed = text.toString();
    typed.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    if (typed.isEmpty())
        return {};
    const UINT page = codePage ? codePage : GetOEMCP();
    const auto *wide = reinterpret_cast<const wchar_t *>(typed.utf16());
    const int length =
        WideCharToMultiByte(page, 0, wide, int(typed.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(page, 0, wide, int(typed.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

} // namespace ConsoleInput

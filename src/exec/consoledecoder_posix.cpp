#include "exec/consoledecoder_platform.h"

#include <QStringDecoder>

namespace ConsoleCodePage {

// Terminals and pipes carry UTF-8 here; there is no older code page that programs fall back to.
unsigned console()
{
    return 65001;
}

unsigned legacy()
{
    return 0;
}

// The double-byte code pages' lead byte ranges, as Windows has them.
bool isLeadByte(unsigned codePage, char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    if (codePage == 932)
        return (value >= 0x81 && value <= 0x9f) || (value >= 0xe0 && value <= 0xfc);
    if (codePage == 936 || codePage == 949 || codePage == 950)
        return value >= 0x81 && value <= 0xfe;
    return false;
}

// Through the system's converters (ICU), which know Windows code pages by name.
QString decode(unsigned codePage, QByteArrayView bytes, bool *valid)
{
    QStringDecoder decoder(QStringLiteral("windows-%1").arg(codePage).toLatin1().constData(),
                           QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringLiteral("cp%1").arg(codePage).toLatin1().constData(),
                                 QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (valid)
        *valid = !decoder.hasError();
    return text;
}

} // namespace ConsoleCodePage

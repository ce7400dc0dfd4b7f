#include "exec/consoleinput.h"

#include <QStringEncoder>

namespace ConsoleInput {

// A terminal hands over UTF-8 and LF; an explicit code page goes through the system's converters
// (ICU), which know Windows code pages by name.
QByteArray encode(QStringView text, unsigned codePage)
{
    QStringEncoder encoder(QStringConverter::Utf8);
    if (codePage != 0 && codePage != 65001) {
        QStringEncoder named(QStringLiteral("windows-%1").arg(codePage).toLatin1().constData());
        if (named.isValid())
            encoder = std::move(named);
    }
    return encoder.encode(text);
}

} // namespace ConsoleInput

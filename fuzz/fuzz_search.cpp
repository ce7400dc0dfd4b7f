// Fuzzes the catalog search with arbitrary keywords: it must never crash, must return records in
// catalog order, and every record must really contain the keyword somewhere.
#include "catalog/commandcatalog.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString keyword =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const CommandCatalog catalog;
    const QList<CommandInfo> result = catalog.search(keyword);
    if (keyword.isEmpty() && !result.isEmpty())
        std::abort();

    const QString needle = keyword.toLower();
    for (const CommandInfo &info : result) {
        const bool found = info.description.toLower().contains(needle) ||
                           info.command.toLower().contains(needle) ||
                           info.detail.toLower().contains(needle) ||
                           info.category.toLower().contains(needle);
        if (!found)
            std::abort();
    }
    return 0;
}

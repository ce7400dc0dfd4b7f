#include "catalog/commandcatalog.h"

#include "catalog/catalogdata.h"

namespace {

QList<CommandCategory> buildTable()
{
    using namespace CatalogData;
    const Category *const sources[] = {
        &kSystemInfo,     &kSystemMaintenance, &kAdminTools,
        &kControlPanel,   &kFilesAndDisks,     &kProcesses,
        &kUsers,          &kServices,          &kScheduledTasks,
        &kNetworkConfig,  &kNetworkDiagnosis,  &kNetworkManagement,
        &kWireless,       &kNetworkTools,      &kRegistry,
        &kShutdown,       &kTimeAndDate,       &kUtilities,
        &kAdvancedSystem, &kWindowsFeatures,   &kPrinting,
    };

    QList<CommandCategory> table;
    table.reserve(std::size(sources));
    for (const Category *source : sources) {
        CommandCategory category;
        category.name = QString::fromUtf8(source->name);
        category.commands.reserve(qsizetype(source->count));
        for (std::size_t i = 0; i < source->count; ++i) {
            const Entry &entry = source->entries[i];
            category.commands.append({QString::fromUtf8(entry.command),
                                      QString::fromUtf8(entry.description), entry.needsAdmin,
                                      QString::fromUtf8(entry.detail)});
        }
        table.append(std::move(category));
    }
    return table;
}

CommandInfo toInfo(const CatalogEntry &entry, const QString &categoryName)
{
    return {entry.description, entry.command, entry.needsAdmin, entry.detail, categoryName};
}

} // namespace

const QList<CommandCategory> &CommandCatalog::allCategories()
{
    static const QList<CommandCategory> table = buildTable();
    return table;
}

QStringList CommandCatalog::categoryNames() const
{
    QStringList names;
    for (const CommandCategory &category : allCategories())
        names.append(category.name);
    return names;
}

QList<CommandInfo> CommandCatalog::commandsOf(const QString &categoryName) const
{
    QList<CommandInfo> result;
    for (const CommandCategory &category : allCategories()) {
        if (category.name != categoryName)
            continue;
        result.reserve(category.commands.size());
        for (const CatalogEntry &entry : category.commands)
            result.append(toInfo(entry, category.name));
        break;
    }
    return result;
}

QList<CommandInfo> CommandCatalog::search(const QString &keyword) const
{
    QList<CommandInfo> result;
    if (keyword.isEmpty())
        return result;

    const QString needle = keyword.toLower();
    for (const CommandCategory &category : allCategories()) {
        for (const CatalogEntry &entry : category.commands) {
            if (entry.description.toLower().contains(needle) ||
                entry.command.toLower().contains(needle) ||
                entry.detail.toLower().contains(needle) || category.name.toLower().contains(needle))
                result.append(toInfo(entry, category.name));
        }
    }
    return result;
}

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One stored command of the catalog.
struct CatalogEntry
{
    QString command;
    QString description;
    bool needsAdmin = false;
    QString detail;
};

// One named category with its entries in stored order.
struct CommandCategory
{
    QString name;
    QList<CatalogEntry> commands;
};

// The record that browsing, execution and the output actions pass around. An empty `command`
// means "no command".
struct CommandInfo
{
    QString description;
    QString command;
    bool needsAdmin = false;
    QString detail;
    QString category;
};

// Read-only access to the built-in catalog. Holds no data: every instance reads the one
// process-wide table.
class CommandCatalog
{
public:
    static const QList<CommandCategory> &allCategories();

    QStringList categoryNames() const;
    QList<CommandInfo> commandsOf(const QString &categoryName) const;
    QList<CommandInfo> search(const QString &keyword) const;
};

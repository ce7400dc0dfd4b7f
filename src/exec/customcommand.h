#pragma once

#include "catalog/commandcatalog.h"

#include <QList>
#include <QString>

// A quick button of the custom-command tab: its label and the line it puts into the entry.
struct QuickCommand
{
    QString commandLine;
    QString label;
};

// A preset row of the saved custom commands table.
struct SavedCommand
{
    QString name;
    QString commandLine;
};

QList<QuickCommand> quickCommands();
QList<SavedCommand> savedCommandPresets();

// The record of a typed command line; `trimmedLine` is already trimmed and not empty.
CommandInfo customCommandRecord(const QString &trimmedLine, bool needsAdmin);

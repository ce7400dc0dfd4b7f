#include "exec/commandkind.h"

#include <QStringList>

namespace {

// Console programs of the catalog that talk with the user and so run in a console of their own.
const QStringList &interactiveConsolePrograms()
{
    static const QStringList names{QStringLiteral("ftp"), QStringLiteral("telnet")};
    return names;
}

} // namespace

bool isGuiCommand(const QString &commandLine)
{
    static const QStringList namedGuiPrograms{
        QStringLiteral("cleanmgr"),
        QStringLiteral("msinfo32"),
        QStringLiteral("winver"),
        QStringLiteral("mstsc"),
    };
    return commandLine.contains(QLatin1String(".msc")) ||
           commandLine.contains(QLatin1String(".cpl")) || namedGuiPrograms.contains(commandLine) ||
           interactiveConsolePrograms().contains(commandLine);
}

bool needsOwnConsole(const QString &commandLine)
{
    return interactiveConsolePrograms().contains(commandLine);
}

bool isContinuousPing(const QString &commandLine)
{
    return commandLine.contains(QLatin1String("ping")) && commandLine.contains(QLatin1String("-t"));
}

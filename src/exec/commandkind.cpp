#include "exec/commandkind.h"

#include <QStringList>

bool isGuiCommand(const QString &commandLine)
{
    static const QStringList namedGuiPrograms{
        QStringLiteral("ftp"),      QStringLiteral("telnet"), QStringLiteral("cleanmgr"),
        QStringLiteral("msinfo32"), QStringLiteral("winver"), QStringLiteral("mstsc"),
    };
    return commandLine.contains(QLatin1String(".msc")) ||
           commandLine.contains(QLatin1String(".cpl")) || namedGuiPrograms.contains(commandLine);
}

bool isContinuousPing(const QString &commandLine)
{
    return commandLine.contains(QLatin1String("ping")) && commandLine.contains(QLatin1String("-t"));
}

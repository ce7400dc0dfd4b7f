#include "exec/commandkind.h"

#include <QRegularExpression>
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

bool isLongRunningProgram(const QString &commandLine)
{
    static const QStringList alwaysLong{
        QStringLiteral("sfc"),    QStringLiteral("dism"),    QStringLiteral("chkdsk"),
        QStringLiteral("defrag"), QStringLiteral("wbadmin"), QStringLiteral("pathping"),
    };
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    // cmd.exe also ends the program's name at a switch: "sfc/scannow" runs sfc.
    const QStringList words = QString(commandLine)
                                  .replace(QLatin1Char('/'), QLatin1String(" /"))
                                  .split(blanks, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return false;
    QString program = words.first().toLower();
    if (program.endsWith(QLatin1String(".exe")))
        program.chop(4);
    if (alwaysLong.contains(program))
        return true;
    // Only the switch that makes the program long: "cipher /e" or "powercfg /list" end at once.
    const auto hasSwitch = [&words](QLatin1String name, bool withValue) {
        for (qsizetype i = 1; i < words.size(); ++i) {
            const QString word = words.at(i).toLower();
            if (!word.startsWith(QLatin1Char('/')) && !word.startsWith(QLatin1Char('-')))
                continue;
            const QStringView option = QStringView(word).mid(1);
            if (option == name || (withValue && option.startsWith(name) &&
                                   option.sliced(name.size()).startsWith(QLatin1Char(':'))))
                return true;
        }
        return false;
    };
    if (program == QLatin1String("cipher"))
        return hasSwitch(QLatin1String("w"), true);
    if (program == QLatin1String("powercfg"))
        return hasSwitch(QLatin1String("energy"), false);
    return false;
}

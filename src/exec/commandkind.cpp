#include "exec/commandkind.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

// Console programs of the catalog that talk with the user and so run in a console of their own.
const QStringList &interactiveConsolePrograms()
{
    static const QStringList names{QStringLiteral("ftp"), QStringLiteral("telnet")};
    return names;
}

// cmd.exe also ends the program's name at a switch: "sfc/scannow" runs sfc.
QStringList commandWords(const QString &commandLine)
{
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    return QString(commandLine)
        .replace(QLatin1Char('/'), QLatin1String(" /"))
        .split(blanks, Qt::SkipEmptyParts);
}

enum class LongProgramNames
{
    // The programs a line names by its first word.
    StartedByTheLine,
    // Those and the helpers they start, and programs that are seldom typed as a line but run by
    // a script or another program.
    Running
};

// `program`: the program's name in lower case without ".exe"; `words`: its command line, the
// program first.
bool isLongProgram(const QString &program, const QStringList &words, LongProgramNames names)
{
    static const QStringList alwaysLong{
        QStringLiteral("sfc"),    QStringLiteral("dism"),    QStringLiteral("chkdsk"),
        QStringLiteral("defrag"), QStringLiteral("wbadmin"), QStringLiteral("pathping"),
    };
    // DISM does its work in DismHost.exe, also for PowerShell's Repair-WindowsImage; Microsoft
    // Defender's scans (MpCmdRun -Scan) are silent for as long as they take.
    static const QStringList longWhenRunning{QStringLiteral("dismhost"),
                                             QStringLiteral("mpcmdrun")};
    if (alwaysLong.contains(program) ||
        (names == LongProgramNames::Running && longWhenRunning.contains(program)))
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
    const QStringList words = commandWords(commandLine);
    if (words.isEmpty())
        return false;
    QString program = words.first().toLower();
    if (program.endsWith(QLatin1String(".exe")))
        program.chop(4);
    return isLongProgram(program, words, LongProgramNames::StartedByTheLine);
}

bool isLongRunningProcess(const QString &programFile, const QString &commandLine)
{
    const qsizetype folderEnd = std::max(programFile.lastIndexOf(QLatin1Char('\\')),
                                         programFile.lastIndexOf(QLatin1Char('/')));
    QString program = programFile.mid(folderEnd + 1).toLower();
    if (program.endsWith(QLatin1String(".exe")))
        program.chop(4);
    return isLongProgram(program, commandWords(commandLine), LongProgramNames::Running);
}

QString consoleReaderNote(const QString &commandLine)
{
    const QStringList words = commandWords(commandLine.toLower());
    if (words.isEmpty())
        return {};
    QString program = words.first();
    if (program.endsWith(QLatin1String(".exe")))
        program.chop(4);
    const auto has = [&words](QLatin1String word) { return words.contains(word); };
    bool readsConsole = false;
    if (program == QLatin1String("runas"))
        readsConsole = !has(QLatin1String("/showtrustlevels")) && !has(QLatin1String("/?"));
    else if (program == QLatin1String("timeout"))
        readsConsole = !has(QLatin1String("/?"));
    else if (program == QLatin1String("net") && words.size() > 3) {
        // A lone "*" where the password goes: `net user name *`, `net use Z: \\server\share *`.
        // In `net use * \\server\share` it picks the next free drive letter instead.
        qsizetype passwordFrom = 0;
        if (words.at(1) == QLatin1String("user"))
            passwordFrom = 3;
        // For net use, after the share: the word that starts with two backslashes.
        else if (words.at(1) == QLatin1String("use"))
            passwordFrom = words.indexOf(QRegularExpression(QStringLiteral("\\\\\\\\.*"))) + 1;
        readsConsole = passwordFrom > 0 && words.indexOf(QLatin1String("*"), passwordFrom) >= 0;
    }
    if (!readsConsole)
        return {};
    return QStringLiteral("提示: 此程序只从控制台窗口读取按键或密码，无法在此输入；"
                          "需要时请在命令提示符窗口中运行。\n");
}

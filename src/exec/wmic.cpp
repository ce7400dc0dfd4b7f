#include "exec/wmic.h"

#include "exec/optionalprogram.h"

#include <QStringView>

namespace {

OptionalProgram &wmic()
{
    static OptionalProgram program(QStringLiteral("wbem/WMIC.exe"));
    return program;
}

// The same WMI classes as the wmic queries they stand in for, with the columns that matter.
const QString kDiskQuery = QStringLiteral(
    "powershell -NoProfile -Command \"Get-CimInstance Win32_DiskDrive | Format-Table Model,Size "
    "-AutoSize\"");
const QString kUpdatesQuery = QStringLiteral(
    "powershell -NoProfile -Command \"Get-CimInstance Win32_QuickFixEngineering | Format-Table "
    "HotFixID,Description,InstalledBy,InstalledOn -AutoSize\"");

// Whether the first word of `commandLine` is wmic, as cmd.exe would find the program.
bool runsWmic(const QString &commandLine)
{
    const QStringView line = QStringView(commandLine).trimmed();
    qsizetype end = 0;
    while (end < line.size() && !line.at(end).isSpace())
        ++end;
    const QStringView program = line.left(end);
    return program.compare(QLatin1String("wmic"), Qt::CaseInsensitive) == 0 ||
           program.compare(QLatin1String("wmic.exe"), Qt::CaseInsensitive) == 0;
}

} // namespace

namespace Wmic {

bool isInstalled()
{
    return wmic().isInstalled();
}

void setInstalledForTesting(std::optional<bool> installed)
{
    wmic().setInstalledForTesting(installed);
}

QString diskInfoLine()
{
    return isInstalled() ? QStringLiteral("wmic diskdrive get size,model") : kDiskQuery;
}

QString systemCheckLine()
{
    return QStringLiteral("systeminfo && %1 && ver && hostname && ipconfig /all")
        .arg(isInstalled() ? QStringLiteral("wmic qfe list") : kUpdatesQuery);
}

QString missingNote(const QString &commandLine)
{
    if (isInstalled() || !runsWmic(commandLine))
        return {};
    return QStringLiteral("\n提示: WMIC 是此版本 Windows 的可选功能，当前未安装，"
                          "可在“设置 > 系统 > 可选功能”中添加。\n");
}

} // namespace Wmic

#pragma once

#include <QString>

#include <optional>

// WMIC, which Windows 11 24H2 and later no longer install by default. Where it is missing, the
// built-in views that use it run an equivalent PowerShell query instead, and a catalog line that
// needs it is followed by a note on where to add it. Where it exists, and off Windows, nothing
// changes.
namespace Wmic {

// Whether WMIC is installed; asked of the system once per process.
bool isInstalled();

// Tests decide in the system's place; std::nullopt restores the system's answer.
void setInstalledForTesting(std::optional<bool> installed);

// The command line of the "磁盘信息" view.
QString diskInfoLine();

// The command line of the "系统综合检查" run.
QString systemCheckLine();

// The line written after the output of `commandLine` when it runs wmic and WMIC is not installed;
// empty otherwise.
QString missingNote(const QString &commandLine);

} // namespace Wmic

#pragma once

#include <QString>

#include <optional>

// The Telnet client, an optional Windows feature that has not been installed by default since
// Windows 7. Without it the catalog's `telnet` is not started: its console window would only show
// cmd.exe's "not recognized" message and close at once. Off Windows nothing changes.
namespace Telnet {

// Whether telnet.exe is in the system folder; asked of the system once per process.
bool isInstalled();

// Tests decide in the system's place; std::nullopt restores the system's answer.
void setInstalledForTesting(std::optional<bool> installed);

// What the pane says instead of starting `commandLine` when that starts telnet, which is not
// installed; empty otherwise.
QString missingNote(const QString &commandLine);

} // namespace Telnet

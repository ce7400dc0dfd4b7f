#pragma once

#include <QString>

#include <functional>
#include <optional>

// Administrator rights of the tool's own process. The answer is asked of the system every time;
// nothing is remembered.
namespace Elevation {

// Whether the own process runs elevated; std::nullopt when the system could not be asked.
std::optional<bool> queryElevation();

// Whether the own process runs elevated; a failed query counts as not elevated.
bool isElevated();

// Asks the system to start `executable` anew with administrator rights and no arguments.
// Returns true when the new instance was started, false when that failed or was declined.
bool restartElevated(const QString &executable);

// Seams for tests, so that both answers can be tested without elevating anything. An empty
// function restores the system's own answer. The restart fake receives the program exactly as
// it would be handed to the system.
void setElevationQueryForTesting(std::function<std::optional<bool>()> query);
void setRestartForTesting(std::function<bool(const QString &program)> restart);

} // namespace Elevation

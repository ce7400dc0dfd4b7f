#include "exec/elevation.h"

#include "exec/elevation_platform.h"

#include <utility>

namespace {

std::function<std::optional<bool>()> &elevationQueryOverride()
{
    static std::function<std::optional<bool>()> query;
    return query;
}

std::function<bool(const QString &)> &restartOverride()
{
    static std::function<bool(const QString &)> restart;
    return restart;
}

} // namespace

namespace Elevation {

std::optional<bool> queryElevation()
{
    if (const auto &query = elevationQueryOverride())
        return query();
    return Platform::queryElevation();
}

bool isElevated()
{
    return queryElevation().value_or(false);
}

bool restartElevated(const QString &executable)
{
    const QString program = Platform::programForRestart(executable);
    if (const auto &restart = restartOverride())
        return restart(program);
    return Platform::startElevated(program);
}

void setElevationQueryForTesting(std::function<std::optional<bool>()> query)
{
    elevationQueryOverride() = std::move(query);
}

void setRestartForTesting(std::function<bool(const QString &)> restart)
{
    restartOverride() = std::move(restart);
}

} // namespace Elevation

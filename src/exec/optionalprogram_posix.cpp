#include "exec/optionalprogram_platform.h"

namespace OptionalProgramPlatform {

// The stand-in shell has no optional features to miss: the views, catalog lines and detached
// starts stay as they are.
bool isInSystemFolder(const QString &)
{
    return true;
}

} // namespace OptionalProgramPlatform

#include "exec/wmic_platform.h"

namespace Wmic::Platform {

// The stand-in shell has no WMIC to miss: the views and catalog lines stay as they are.
bool isInstalled()
{
    return true;
}

} // namespace Wmic::Platform

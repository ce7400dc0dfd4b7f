#pragma once

#include <QString>

// The program's display name and version text, as shown in the title, the title bar and the
// help texts.
QString appDisplayName();
QString appVersion();

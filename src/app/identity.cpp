#include "app/identity.h"

namespace {
constexpr char kDisplayName[] = "Quillwick";
constexpr char kVersion[] = "2.0";
} // namespace

QString appDisplayName()
{
    return QString::fromUtf8(kDisplayName);
}

QString appVersion()
{
    return QString::fromUtf8(kVersion);
}

#include "exec/elevation_platform.h"

#include <QProcess>
#include <QStringList>

#include <unistd.h>

namespace Elevation::Platform {

std::optional<bool> queryElevation()
{
    return ::geteuid() == 0;
}

QString nativePath(const QString &path)
{
    return path;
}

// No drive letters here.
QString driveConnection(const QString &)
{
    return {};
}

QString driveSubstitution(const QString &)
{
    return {};
}

bool startElevated(const RestartRequest &request)
{
    // pkexec clears the environment; the new instance needs the display to show its window.
    QStringList arguments{QStringLiteral("env")};
    for (const char *name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        if (qEnvironmentVariableIsSet(name))
            arguments << QStringLiteral("%1=%2").arg(QString::fromLatin1(name),
                                                     qEnvironmentVariable(name));
    }
    arguments << request.program;
    // Only the start of pkexec can be known here: whether the user grants the rights is asked
    // after the tool has quit. pkexec has no use for the owner window.
    return QProcess::startDetached(QStringLiteral("pkexec"), arguments, request.directory);
}

} // namespace Elevation::Platform

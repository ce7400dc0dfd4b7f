#include "exec/elevation.h"

#include "exec/elevation_platform.h"

#include <QEventLoop>
#include <QThread>

#include <memory>
#include <utility>

namespace {

std::function<std::optional<bool>()> &elevationQueryOverride()
{
    static std::function<std::optional<bool>()> query;
    return query;
}

std::function<bool(const Elevation::RestartRequest &)> &restartOverride()
{
    static std::function<bool(const Elevation::RestartRequest &)> restart;
    return restart;
}

std::function<QString(const QString &)> &connectionOverride()
{
    static std::function<QString(const QString &)> connection;
    return connection;
}

std::function<QString(const QString &)> &substitutionOverride()
{
    static std::function<QString(const QString &)> substitution;
    return substitution;
}

bool isDriveLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// The system's answer can take as long as the user looks at the consent prompt; meanwhile the
// calling thread goes on painting and handling its timers, so that its windows do not turn
// unresponsive.
bool startElevatedAndWait(const Elevation::RestartRequest &request)
{
    bool started = false;
    std::unique_ptr<QThread> worker(QThread::create(
        [&started, request] { started = Elevation::Platform::startElevated(request); }));
    QEventLoop waiting;
    QObject::connect(worker.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    worker->start();
    if (!worker->isFinished())
        waiting.exec();
    worker->wait();
    return started;
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

QString elevatedSessionForm(const QString &nativePath)
{
    QString path = nativePath;
    // A SUBST drive may stand for a folder on another such drive; never more than the letters.
    for (int depth = 0; depth < 26; ++depth) {
        // Only "X:\..." and "X:" itself; "X:relative" names no fixed folder.
        if (path.size() < 2 || !isDriveLetter(path.at(0)) || path.at(1) != QLatin1Char(':') ||
            (path.size() > 2 && path.at(2) != QLatin1Char('\\')))
            return path;
        const QString drive = path.left(2);
        const QString rest = path.mid(2);
        const auto &substitutionFake = substitutionOverride();
        QString folder =
            substitutionFake ? substitutionFake(drive) : Platform::driveSubstitution(drive);
        const bool substituted = !folder.isEmpty();
        if (!substituted) {
            const auto &connectionFake = connectionOverride();
            folder = connectionFake ? connectionFake(drive) : Platform::driveConnection(drive);
        }
        if (folder.isEmpty())
            return path;
        while (folder.endsWith(QLatin1Char('\\')))
            folder.chop(1);
        path = folder + (rest.isEmpty() ? QStringLiteral("\\") : rest);
        if (!substituted)
            return path;
    }
    return path;
}

bool restartElevated(const QString &executable, const QString &directory, quintptr ownerWindow)
{
    const RestartRequest request{elevatedSessionForm(Platform::nativePath(executable)),
                                 elevatedSessionForm(Platform::nativePath(directory)), ownerWindow};
    if (const auto &restart = restartOverride())
        return restart(request);
    return startElevatedAndWait(request);
}

void setElevationQueryForTesting(std::function<std::optional<bool>()> query)
{
    elevationQueryOverride() = std::move(query);
}

void setRestartForTesting(std::function<bool(const RestartRequest &)> restart)
{
    restartOverride() = std::move(restart);
}

void setDriveConnectionForTesting(std::function<QString(const QString &)> connection)
{
    connectionOverride() = std::move(connection);
}

void setDriveSubstitutionForTesting(std::function<QString(const QString &)> substitution)
{
    substitutionOverride() = std::move(substitution);
}

} // namespace Elevation

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

QString networkForm(const QString &nativePath)
{
    // Only "X:\..." and "X:" itself; "X:relative" names no fixed folder.
    if (nativePath.size() < 2 || !isDriveLetter(nativePath.at(0)) ||
        nativePath.at(1) != QLatin1Char(':') ||
        (nativePath.size() > 2 && nativePath.at(2) != QLatin1Char('\\')))
        return nativePath;
    const QString drive = nativePath.left(2);
    const auto &fake = connectionOverride();
    QString share = fake ? fake(drive) : Platform::driveConnection(drive);
    if (share.isEmpty())
        return nativePath;
    while (share.endsWith(QLatin1Char('\\')))
        share.chop(1);
    const QString rest = nativePath.mid(2);
    return share + (rest.isEmpty() ? QStringLiteral("\\") : rest);
}

bool restartElevated(const QString &executable, const QString &directory, quintptr ownerWindow)
{
    const RestartRequest request{networkForm(Platform::nativePath(executable)),
                                 networkForm(Platform::nativePath(directory)), ownerWindow};
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

} // namespace Elevation

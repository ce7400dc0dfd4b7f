// The POSIX side of the elevation layer, with the system's own answers (no test seams).
#include "exec/elevation.h"
#include "testmain.h"

#include <QTemporaryDir>

#include <unistd.h>

class ElevationPosixTest : public QObject
{
    Q_OBJECT

private slots:
    void queryAnswersWithTheEffectiveUser();
    void restartWithoutPkexecReportsFailure();
};

void ElevationPosixTest::queryAnswersWithTheEffectiveUser()
{
    const std::optional<bool> answer = Elevation::queryElevation();
    QVERIFY(answer.has_value());
    QCOMPARE(*answer, ::geteuid() == 0);
    QCOMPARE(Elevation::isElevated(), ::geteuid() == 0);
}

void ElevationPosixTest::restartWithoutPkexecReportsFailure()
{
    // An empty search path: pkexec cannot be found, wherever it is installed, so nothing is
    // elevated here and the failure must be reported rather than taken for a started instance.
    QTemporaryDir emptyDir;
    QVERIFY(emptyDir.isValid());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", emptyDir.path().toLocal8Bit());
    const bool started = Elevation::restartElevated(QCoreApplication::applicationFilePath());
    qputenv("PATH", path);
    QVERIFY(!started);
}

QUILLWICK_TEST_MAIN(ElevationPosixTest)
#include "tst_elevation_posix.moc"

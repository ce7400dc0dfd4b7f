// The POSIX elevated restart, the real one (no test seam).
#include "exec/elevation.h"
#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>

class ElevationPosixTest : public QObject
{
    Q_OBJECT

private slots:
    void restartWithoutPkexecReportsFailure();
};

void ElevationPosixTest::restartWithoutPkexecReportsFailure()
{
    // An empty search path: pkexec cannot be found, wherever it is installed, so nothing is
    // elevated here and the failure must be reported rather than taken for a started instance.
    QTemporaryDir emptyDir;
    QVERIFY(emptyDir.isValid());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", emptyDir.path().toLocal8Bit());
    const bool started =
        Elevation::restartElevated(QCoreApplication::applicationFilePath(), QDir::currentPath(), 0);
    qputenv("PATH", path);
    QVERIFY(!started);
}

QUILLWICK_TEST_MAIN(ElevationPosixTest)
#include "tst_elevation_posix.moc"

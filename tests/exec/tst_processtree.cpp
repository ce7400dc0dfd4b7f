// The interrupting stop's steps and the time-out's look at a run's programs, on real /bin/sh lines
// and the programs they start. POSIX only; the Windows side runs in exec/tst_execution_win.cpp.
#include "exec/processtree.h"
#include "posixprocess.h"
#include "readyrun.h"
#include "testmain.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Generous for a loaded machine; a passing line takes milliseconds.
constexpr int kWaitMs = 10000;
// Stands in for the stop's grace: long enough for a shell to run its trap.
constexpr int kGraceMs = 1000;

} // namespace

class ProcessTreeTest : public QObject
{
    Q_OBJECT

private slots:
    void interruptComesFirstAndLeftoversAreEnded_data();
    void interruptComesFirstAndLeftoversAreEnded();
};

void ProcessTreeTest::interruptComesFirstAndLeftoversAreEnded_data()
{
    // "%1": a folder where a line leaves the id of a program that outlives the shell, with
    // stand-ins named like long programs (`sleep` under another name, which the kernel reports
    // as the program's name). "ready" comes from the program the shell waits for, once the shell
    // has started it.
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("endsOnInterrupt");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("longRunning");

    const auto waited = [](const char *program) {
        return QStringLiteral("sh -c 'echo ready; exec %1 30'").arg(QLatin1String(program));
    };
    // Like ping's statistics on Ctrl+C: what the program says comes before its end.
    QTest::newRow("handles the interrupt")
        << QStringLiteral("trap 'echo summary; exit 3' INT; echo y | ") + waited("%1/chkdsk") +
               QStringLiteral("; echo no")
        << true << QByteArray("ready\nsummary\n") << true;
    QTest::newRow("ignores the interrupt")
        << QStringLiteral("trap '' INT; ") + waited("sleep") + QStringLiteral("; echo no") << false
        << QByteArray("ready\n") << false;
    // A background program that ignores the interrupt outlives the shell, which the interrupt
    // ends: only ending the rest after the interpreter ends it. A cipher without /w is not long.
    QTest::newRow("background program outlives the shell")
        << QStringLiteral("sh -c 'trap \"\" INT; echo $$ > %1/leftover.tmp; mv %1/leftover.tmp "
                          "%1/leftover; exec sleep 30' & until [ -f %1/leftover ]; do sleep 0.01; "
                          "done; ") +
               waited("%1/cipher")
        << true << QByteArray("ready\n") << false;
}

void ProcessTreeTest::interruptComesFirstAndLeftoversAreEnded()
{
    QFETCH(QString, line);
    QFETCH(bool, endsOnInterrupt);
    QFETCH(QByteArray, output);
    QFETCH(bool, longRunning);
    QTemporaryDir files;
    QVERIFY(files.isValid());
    for (const char *name : {"chkdsk", "cipher"})
        QVERIFY(QFile::link(QStringLiteral("/bin/sleep"), files.filePath(QLatin1String(name))));
    QProcess process;
    QVERIFY(
        startReadyRun(process, QString(line).replace(QLatin1String("%1"), files.path()), kWaitMs));
    // Once the shell's child runs under its program's name.
    QCOMPARE(QTest::qWaitFor([&process] { return ProcessTree::runsLongProgram(process); },
                             longRunning ? kWaitMs : 200),
             longRunning);

    QVERIFY(ProcessTree::interrupt(process));
    QCOMPARE(process.waitForFinished(kGraceMs), endsOnInterrupt);
    if (!endsOnInterrupt) {
        QVERIFY(ProcessTree::kill(process));
        QVERIFY(process.waitForFinished(kWaitMs));
    }
    QCOMPARE(process.readAll(), output);
    // An ended interpreter is interrupted no more.
    QVERIFY(!ProcessTree::interrupt(process));

    const qint64 leftover = pidFromFile(files.filePath(QStringLiteral("leftover")));
    if (leftover == 0)
        return;
    // No console here to close: a run that ended by itself keeps it.
    ProcessTree::endLeftovers(process, ProcessTree::Leftovers::InRunsConsole);
    QTest::qWait(100);
    QVERIFY(!processEnded(leftover));
    ProcessTree::endLeftovers(process, ProcessTree::Leftovers::AllButUsers);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(leftover), kWaitMs);
}

QUILLWICK_TEST_MAIN(ProcessTreeTest)
#include "tst_processtree.moc"

// Measures Quillwick's hot paths, each against a floor measured in the same run, and prints a
// small table. Modes that need a fresh process (first catalog build, peak memory) re-run this
// executable with a mode argument.

#include "accessibilityclient.h"
#include "catalog/commandcatalog.h"
#include "exec/consoledecoder.h"
#include "mainwindowaccess.h"
#include "peakmemory.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QOperatingSystemVersion>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

struct Sample
{
    double median;
    double worst;
};

Sample summarize(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.at(values.size() / 2), values.last()};
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void showExposed(QWidget &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("window not exposed");
}

void printRow(const char *what, const QString &figure, const QString &floor, double ratio,
              const char *goal)
{
    std::printf("| %-34s | %-26s | %-26s | %6.2f | %-18s |\n", what, qPrintable(figure),
                qPrintable(floor), ratio, goal);
    std::fflush(stdout);
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 3);
}

// Watches a window for its first processed paint.
class FirstPaint : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Runs in a fresh process: application, window, show, first processed paint.
int modeStartup(int argc, char **argv, bool bare)
{
    QElapsedTimer timer;
    timer.start();
    QApplication app(argc, argv);
    QMainWindow *window = nullptr;
    if (bare) {
        window = new QMainWindow;
        window->resize(1200, 1000);
    } else {
        window = new MainWindow;
    }
    FirstPaint watcher;
    window->installEventFilter(&watcher);
    window->show();
    while (!watcher.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // The paint event was delivered; let the window finish handling it.
    QCoreApplication::processEvents();
    std::printf("%f\n", msSince(timer));
    delete window;
    return 0;
}

QList<double> runSelf(const QStringList &arguments)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    QList<double> values;
    for (const QByteArray &part : child.readAllStandardOutput().simplified().split(' '))
        values.append(part.toDouble());
    return values;
}

void benchStartup()
{
    QList<double> full, bare;
    for (int i = 0; i < 15; ++i) {
        full.append(runSelf({QStringLiteral("--startup")}).value(0));
        bare.append(runSelf({QStringLiteral("--startup-bare")}).value(0));
    }
    const Sample a = summarize(full), b = summarize(bare);
    printRow("start-up to first paint (median)", ms(a.median), ms(b.median), a.median / b.median,
             "ratio <= 1.5");
}

// A key press carrying the character, as a keyboard or an input method delivers it.
void typeCharacter(QWidget *widget, QChar character)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
    QApplication::sendEvent(widget, &release);
}

void benchSearchKeystroke()
{
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    const CommandCatalog catalog;

    // Keywords: the last character is the one typed while measuring.
    const QStringList keywords = {
        QStringLiteral("a"),    QStringLiteral("s"),   QStringLiteral("网"), QStringLiteral("系统"),
        QStringLiteral("zqxj"), QStringLiteral("net"), QStringLiteral("e")};
    const int rounds = 100;
    QList<double> typed, bare;
    for (const QString &keyword : keywords) {
        const QString prefix = keyword.chopped(1);
        const QChar last = keyword.back();
        for (int i = 0; i < rounds; ++i) {
            ui.searchEdit()->setText(prefix);
            QCoreApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            typeCharacter(ui.searchEdit(), last);
            typed.append(msSince(timer));

            timer.restart();
            const QList<CommandInfo> result = catalog.search(keyword);
            bare.append(msSince(timer));
            if (result.size() != ui.searchResults().size())
                qFatal("search box and search() disagree");
        }
        std::printf("    keyword %-6s matches %4lld\n", qPrintable(keyword),
                    static_cast<long long>(catalog.search(keyword).size()));
    }
    const Sample a = summarize(typed), b = summarize(bare);
    printRow("search keystroke (median)", ms(a.median), ms(b.median), a.median / b.median,
             "<= 3x search()");
    printRow("search keystroke (worst)", ms(a.worst), ms(b.worst), a.worst / b.worst, "< 2 ms");
}

// Runs in a fresh process: the first call builds the catalog table.
int modeCatalogFirstBuild()
{
    QElapsedTimer timer;
    timer.start();
    const QList<CommandCategory> &table = CommandCatalog::allCategories();
    const double build = msSince(timer);

    // Floor: the same texts converted into a flat list, with no structure around them.
    timer.restart();
    QStringList flat;
    flat.reserve(717 * 3);
    for (const CommandCategory &category : table) {
        for (const CatalogEntry &entry : category.commands) {
            flat.append(QString::fromUtf8(entry.command.toUtf8()));
            flat.append(QString::fromUtf8(entry.description.toUtf8()));
            flat.append(QString::fromUtf8(entry.detail.toUtf8()));
        }
    }
    const double floor = msSince(timer);
    std::printf("%f %f\n", build, floor);
    return 0;
}

void benchCatalogFirstBuild()
{
    QList<double> build, floor;
    for (int i = 0; i < 15; ++i) {
        const QList<double> values = runSelf({QStringLiteral("--catalog-first-build")});
        build.append(values.value(0));
        floor.append(values.value(1));
    }
    const Sample a = summarize(build), b = summarize(floor);
    printRow("first build of the catalog (median)", ms(a.median), ms(b.median), a.median / b.median,
             "< 2 ms");
}

// The child of the streaming figures: 2,000,000 short lines, about 15 MB.
const QString kStreamCommand = qEnvironmentVariableIsSet("QW_STREAM")
                                   ? qEnvironmentVariable("QW_STREAM")
                                   : QStringLiteral("seq 1 2000000");
// A progress counter that rewrites its line 200,000 times with lone CRs, and the same numbers as
// plain lines.
const QString kProgressCommand = QStringLiteral("seq 1 200000 | tr '\\n' '\\r'");
const QString kPlainLinesCommand = QStringLiteral("seq 1 200000");

// Records the longest gap between the ticks of a 5 ms timer: how long the event loop stalled.
class Heartbeat
{
public:
    Heartbeat()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const double gap = msSince(sinceTick);
            if (gap > longest) {
                longest = gap;
                longestAt = msSince(sinceStart);
            }
            sinceTick.restart();
        });
        sinceTick.start();
        sinceStart.start();
        timer.start(5);
    }
    double longest = 0;
    // When the longest stall ended, in ms after the heartbeat began.
    double longestAt = 0;

private:
    QTimer timer;
    QElapsedTimer sinceTick;
    QElapsedTimer sinceStart;
};

// The number of lines that the run's output takes in the pane, between header and footer.
qsizetype runOutputLines(const QString &pane)
{
    const QString rule(80, QLatin1Char('='));
    const qsizetype start = pane.indexOf(rule + QStringLiteral("\n\n"), pane.indexOf(rule) + 80);
    const qsizetype end = pane.lastIndexOf(QStringLiteral("\n") + rule + QStringLiteral("\n命令"));
    if (start < 0 || end < start)
        return -1;
    const QString output = pane.mid(start + rule.size() + 2, end - start - rule.size() - 2);
    if (output.isEmpty())
        return 0;
    return output.count(QLatin1Char('\n')) + (output.endsWith(QLatin1Char('\n')) ? 0 : 1);
}

// Runs in a fresh process: the output pane streams the output of `command` live. Prints the
// time, the longest stall, the peak memory, the pane's characters and its lines.

// Runs `info` in the pane with the event loop turning, until the run has closed; returns how long
// that took.
double msToTheRunsEnd(MainWindowAccess &ui, const CommandInfo &info)
{
    QElapsedTimer timer;
    timer.start();
    ui.executeCommand(info);
    while (ui.stopBtn()->isEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    return msSince(timer);
}
int modeStreamPane(const QString &command)
{
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    CommandInfo info;
    info.description = QStringLiteral("stream");
    info.command = command;

    Heartbeat heartbeat;
    const double elapsed = msToTheRunsEnd(ui, info);
    const double peak = peakMemoryMiB();
    const QString pane = ui.outputEdit()->toPlainText();
    std::printf("%f %f %f %lld %lld\n", elapsed, heartbeat.longest, peak,
                static_cast<long long>(pane.size()), static_cast<long long>(runOutputLines(pane)));
    return 0;
}

// Runs in a fresh process: the same child's whole output, given to a text box in one call.
int modeStreamFloor()
{
    QPlainTextEdit edit;
    edit.resize(800, 800);
    showExposed(edit);

    QElapsedTimer timer;
    timer.start();
    Heartbeat heartbeat;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), kStreamCommand});
    QByteArray output;
    QObject::connect(&child, &QProcess::readyReadStandardOutput,
                     [&] { output += child.readAllStandardOutput(); });
    while (child.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    output += child.readAllStandardOutput();
    edit.setPlainText(QString::fromUtf8(output));
    QCoreApplication::processEvents();
    const double elapsed = msSince(timer);
    std::printf("%f %f %f %lld\n", elapsed, heartbeat.longest, peakMemoryMiB(),
                static_cast<long long>(edit.document()->characterCount()));
    return 0;
}

// Runs in a fresh process: what the text box itself costs. A plain QPlainTextEdit without undo
// history, given each read of the child at its end as it arrives, with nothing else around it.
int modeStreamWidget()
{
    QPlainTextEdit edit;
    edit.setUndoRedoEnabled(false);
    edit.resize(800, 800);
    showExposed(edit);

    QElapsedTimer timer;
    timer.start();
    Heartbeat heartbeat;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&child, &QProcess::readyReadStandardOutput, [&] {
        QTextCursor cursor(edit.document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QString::fromUtf8(child.readAllStandardOutput()));
    });
    child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), kStreamCommand});
    while (child.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const double elapsed = msSince(timer);
    std::printf("%f %f %f %lld\n", elapsed, heartbeat.longest, peakMemoryMiB(),
                static_cast<long long>(edit.document()->characterCount()));
    return 0;
}

double benchStreaming()
{
    QList<double> paneTime, floorTime, paneStall, floorStall, paneMemory, floorMemory, widgetMemory;
    double outputBytes = 0;
    for (int i = 0; i < 3; ++i) {
        const QList<double> pane = runSelf({QStringLiteral("--stream-pane"), kStreamCommand});
        const QList<double> floor = runSelf({QStringLiteral("--stream-floor")});
        const QList<double> widget = runSelf({QStringLiteral("--stream-widget")});
        // The pane holds the run's header and footer besides the output: it can only be longer.
        if (pane.value(3) < floor.value(3))
            std::printf("    the pane lost output: %.0f characters against %.0f\n", pane.value(3),
                        floor.value(3));
        std::printf("    run %d: pane %.0f ms, stall %.1f ms, %.1f MiB; widget alone %.1f MiB\n",
                    i + 1, pane.value(0), pane.value(1), pane.value(2), widget.value(2));
        paneTime.append(pane.value(0));
        floorTime.append(floor.value(0));
        paneStall.append(pane.value(1));
        floorStall.append(floor.value(1));
        paneMemory.append(pane.value(2));
        floorMemory.append(floor.value(2));
        widgetMemory.append(widget.value(2));
        // ASCII output: one character a byte, and the document's closing paragraph mark.
        outputBytes = floor.value(3) - 1;
    }
    const Sample time = summarize(paneTime), timeFloor = summarize(floorTime);
    printRow("output streaming 15 MB (median)", ms(time.median), ms(timeFloor.median),
             time.median / timeFloor.median, "ratio <= 1.1");
    const Sample stall = summarize(paneStall), stallFloor = summarize(floorStall);
    printRow("longest event-loop stall (worst)", ms(stall.worst), ms(stallFloor.worst),
             stall.worst / stallFloor.worst, "<= 20 ms each run");
    const Sample memory = summarize(paneMemory), memoryFloor = summarize(floorMemory);
    printRow("peak memory (median)", QStringLiteral("%1 MiB").arg(memory.median, 0, 'f', 1),
             QStringLiteral("%1 MiB").arg(memoryFloor.median, 0, 'f', 1),
             memory.median / memoryFloor.median, "ratio <= 0.5");
    const auto perByte = [outputBytes](double mib) { return mib * 1024 * 1024 / outputBytes; };
    const Sample widget = summarize(widgetMemory);
    printRow("peak memory per output byte",
             QStringLiteral("%1 B/B").arg(perByte(memory.median), 0, 'f', 1),
             QStringLiteral("%1 B/B (text box alone)").arg(perByte(widget.median), 0, 'f', 1),
             memory.median / widget.median, "<= 22 B/B");
    return time.median;
}

// What reading each line for UTF-16 and UTF-8 adds to the 15 MB stream, against decoding it as
// plain UTF-8 as it was before, both in 64 KB reads: the difference as a share of the stream.
void benchDecoding(double streamMs)
{
    QByteArray output;
    for (int i = 1; i <= 2000000; ++i)
        output += QByteArray::number(i) + '\n';
    constexpr qsizetype kRead = 64 * 1024;
    QList<double> decoding, plain;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        ConsoleDecoder decoder;
        qsizetype characters = 0;
        for (qsizetype at = 0; at < output.size(); at += kRead)
            characters +=
                decoder
                    .decode(QByteArrayView(output).sliced(at, std::min(kRead, output.size() - at)))
                    .size();
        characters += decoder.finish().size();
        decoding.append(msSince(timer));
        timer.start();
        QStringDecoder utf8(QStringConverter::Utf8);
        qsizetype plainCharacters = 0;
        for (qsizetype at = 0; at < output.size(); at += kRead)
            plainCharacters += QString(utf8.decode(QByteArrayView(output).sliced(
                                           at, std::min(kRead, output.size() - at))))
                                   .size();
        plain.append(msSince(timer));
        if (characters != plainCharacters)
            std::printf("    decoding lost text: %lld characters against %lld\n",
                        static_cast<long long>(characters),
                        static_cast<long long>(plainCharacters));
    }
    const Sample a = summarize(decoding), b = summarize(plain);
    printRow("decoding the 15 MB (median)", ms(a.median), ms(b.median) + QStringLiteral(" (UTF-8)"),
             (streamMs + a.median - b.median) / streamMs, "stream <= 1.02 x");
}

// A child that writes a byte at a time (a pipe read per byte): the decoder must not rescan the
// line it holds on every read, so long lines cost no more per MB than short ones.
void benchByteReads()
{
    constexpr qsizetype kBytes = 1024 * 1024;
    const auto linesOf = [](qsizetype length) {
        QByteArray line;
        while (line.size() < length - 2)
            line += "0123456789 abcdefghij ";
        line.truncate(length - 2);
        line += "\r\n";
        return line.repeated(kBytes / length);
    };
    const auto msPerMb = [](const QByteArray &output) {
        QList<double> times;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer timer;
            timer.start();
            ConsoleDecoder decoder;
            qsizetype characters = 0;
            for (qsizetype at = 0; at < output.size(); ++at)
                characters += decoder.decode(QByteArrayView(output).sliced(at, 1)).size();
            characters += decoder.finish().size();
            times.append(msSince(timer) * (1024 * 1024) / double(output.size()));
            if (characters != output.size())
                std::printf("    byte reads lost text: %lld characters of %lld\n",
                            static_cast<long long>(characters),
                            static_cast<long long>(output.size()));
        }
        return summarize(times).median;
    };
    const double longLines = msPerMb(linesOf(4000));
    const double shortLines = msPerMb(linesOf(80));
    printRow("1-byte reads, 4,000-byte lines", ms(longLines) + QStringLiteral(" per MB"),
             ms(shortLines) + QStringLiteral(" (80-byte lines)"), longLines / shortLines, "<= 2");
}

// A progress counter against the same numbers as plain lines: it must end as one line and stream
// no slower.
void benchProgressCounter()
{
    QList<double> progressTime, plainTime;
    long long progressLines = 0, plainLines = 0;
    for (int i = 0; i < 3; ++i) {
        const QList<double> progress = runSelf({QStringLiteral("--stream-pane"), kProgressCommand});
        const QList<double> plain = runSelf({QStringLiteral("--stream-pane"), kPlainLinesCommand});
        progressTime.append(progress.value(0));
        plainTime.append(plain.value(0));
        progressLines = qRound64(progress.value(4));
        plainLines = qRound64(plain.value(4));
    }
    std::printf("    run output in the pane: progress counter %lld line(s), plain %lld lines\n",
                progressLines, plainLines);
    const Sample progress = summarize(progressTime), plain = summarize(plainTime);
    printRow("200,000 CR progress updates (median)", ms(progress.median), ms(plain.median),
             progress.median / plain.median, "<= 1, one line");
}

// Runs `info`, lets it run for `runMs`, then measures from pressing "停止执行" to the footer.
double msFromStopToFooter(MainWindowAccess &ui, const CommandInfo &info, int runMs)
{
    ui.executeCommand(info);
    QTest::qWait(runMs);
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(ui.stopBtn(), Qt::LeftButton);
    while (ui.stopBtn()->isEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return msSince(timer);
}

// From pressing "停止执行" on a running chain to the footer in the pane.
void benchStopLatency()
{
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    CommandInfo info;
    info.description = QStringLiteral("chain");
    info.command = QStringLiteral("sleep 30 && echo never");

    QList<double> stop, floor;
    for (int i = 0; i < 20; ++i) {
        stop.append(msFromStopToFooter(ui, info, 50));

        // Floor: killing a bare child and learning that it ended.
        QProcess child;
        child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), info.command});
        child.waitForStarted();
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        child.kill();
        child.waitForFinished();
        floor.append(msSince(timer));
    }
    const Sample a = summarize(stop), b = summarize(floor);
    printRow("stop to footer (median)", ms(a.median), ms(b.median), a.median / b.median, "< 50 ms");
    printRow("stop to footer (worst)", ms(a.worst), ms(b.worst), a.worst / b.worst, "< 50 ms");
}

// From pressing "停止执行" while a fast child streams to the footer: whatever the pane has read
// but not yet shown comes before the footer.
void benchStopDuringStream()
{
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    CommandInfo info;
    info.description = QStringLiteral("stream");
    info.command = QStringLiteral("seq 1 100000000");

    QList<double> stop;
    for (int i = 0; i < 10; ++i) {
        stop.append(msFromStopToFooter(ui, info, 500));
        ui.outputEdit()->clear();
    }
    const Sample a = summarize(stop);
    printRow("stop to footer while streaming",
             QStringLiteral("%1 / %2").arg(ms(a.median), ms(a.worst)),
             QStringLiteral("(median / worst)"), 0, "< 50 ms");
}

// The tests' flood fixture: 32-byte numbered lines as fast as the pipe takes them, 400 MB in all.
constexpr qint64 kFloodBytes = 400'000'000;
constexpr int kFloodRunMs = 5000;
constexpr double kFloodLineBytes = 32;

QString floodProgram()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                    QStringLiteral("/../tests/piecewriter"));
}

// Runs in a fresh process: the pane streams the flood for 5 s, then "停止执行" is pressed. Prints
// stop to footer, the longest stall, the peak memory and the flood's records in the pane: its
// lines, or with `oneLine` its 32-byte records without line ends.
int modeFloodStop(bool oneLine)
{
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    CommandInfo info;
    info.description = QStringLiteral("flood");
    info.command = QStringLiteral("\"%1\" %2 %3 -")
                       .arg(floodProgram(),
                            oneLine ? QStringLiteral("--flood-line") : QStringLiteral("--flood"))
                       .arg(kFloodBytes);
    Heartbeat heartbeat;
    const double stop = msFromStopToFooter(ui, info, kFloodRunMs);
    const QString received = ui.receivedOutputText();
    const qsizetype records =
        oneLine ? received.count(QStringLiteral("flooding the pipe")) : runOutputLines(received);
    std::printf("%f %f %f %lld %f\n", stop, heartbeat.longest, peakMemoryMiB(),
                static_cast<long long>(records), heartbeat.longestAt);
    return 0;
}

// Runs in a fresh process, the floor: a bare QProcess reads the flood for as long and drops it.
// Prints the bytes read.
int modeFloodFloor()
{
    QProcess child;
    qint64 bytes = 0;
    QObject::connect(&child, &QProcess::readyReadStandardOutput,
                     [&] { bytes += child.readAllStandardOutput().size(); });
    child.start(floodProgram(),
                {QStringLiteral("--flood"), QString::number(kFloodBytes), QStringLiteral("-")});
    QTest::qWait(kFloodRunMs);
    child.kill();
    child.waitForFinished();
    std::printf("%lld\n", static_cast<long long>(bytes));
    return 0;
}

// A program that writes as fast as the pipe takes, stopped after 5 s: how soon the notice and the
// footer come, whether the window kept responding, what it cost in memory, and how much of the
// stream the pane showed against what a bare reader takes in.
void benchFloodStop(bool oneLine)
{
    QList<double> stop, stall, memory, shown, floor;
    const char *what = oneLine ? "one-line flood" : "flood";
    for (int i = 0; i < 3; ++i) {
        const QList<double> pane = runSelf(
            {oneLine ? QStringLiteral("--flood-line-stop") : QStringLiteral("--flood-stop")});
        const double floorBytes = runSelf({QStringLiteral("--flood-floor")}).value(0);
        std::printf("    %s run %d: stop %.1f ms, stall %.1f ms (ended %.0f ms in), %.1f MiB, "
                    "%.0f records shown; bare reader %.1f MB\n",
                    what, i + 1, pane.value(0), pane.value(1), pane.value(4), pane.value(2),
                    pane.value(3), floorBytes / 1e6);
        stop.append(pane.value(0));
        stall.append(pane.value(1));
        memory.append(pane.value(2));
        shown.append(pane.value(3) * kFloodLineBytes / (kFloodRunMs / 1000.0) / 1e6);
        floor.append(floorBytes / (kFloodRunMs / 1000.0) / 1e6);
    }
    const Sample a = summarize(stop);
    printRow(qPrintable(QStringLiteral("%1, stop after 5 s: to footer").arg(QLatin1String(what))),
             QStringLiteral("%1 / %2").arg(ms(a.median), ms(a.worst)),
             QStringLiteral("(median / worst)"), 0, "< 100 ms");
    printRow(qPrintable(QStringLiteral("%1: longest stall (worst)").arg(QLatin1String(what))),
             ms(summarize(stall).worst), QString(), 0, "<= 50 ms");
    printRow(qPrintable(QStringLiteral("%1: peak memory (worst)").arg(QLatin1String(what))),
             QStringLiteral("%1 MiB").arg(summarize(memory).worst, 0, 'f', 1), QString(), 0,
             "<= 300 MiB");
    const Sample rate = summarize(shown), floorRate = summarize(floor);
    printRow(qPrintable(QStringLiteral("%1: shown per second (median)").arg(QLatin1String(what))),
             QStringLiteral("%1 MB/s").arg(rate.median, 0, 'f', 1),
             QStringLiteral("%1 MB/s (bare reader)").arg(floorRate.median, 0, 'f', 1),
             rate.median / floorRate.median, "share of the stream");
}

void printHeader()
{
    std::printf("| %-34s | %-26s | %-26s | %6s | %-18s |\n", "figure", "Quillwick", "floor",
                "ratio", "goal");
    std::printf("|%s|%s|%s|%s|%s|\n", QByteArray(36, '-').constData(),
                QByteArray(28, '-').constData(), QByteArray(28, '-').constData(),
                QByteArray(8, '-').constData(), QByteArray(20, '-').constData());
}

// A listening accessibility client as some machines have one (a UI Automation server that hears
// every text change, a screen reader): each text or value event costs the GUI thread a round trip
// of 65 ms to another process. Installed before the window, whose handler passes events on to it
// as to the platform.
int clientEvents = 0;
void slowClient(QAccessibleEvent *event)
{
    const QAccessible::Event type = event->type();
    if (type == QAccessible::ValueChanged ||
        (type >= QAccessible::TextAttributeChanged && type <= QAccessible::TextSelectionChanged)) {
        ++clientEvents;
        QThread::msleep(65);
    }
}

// Runs as a console program: writes `file` to standard output in 64 KiB pieces, as fast as the
// pipe takes them. Its lines end in LF, which the C runtime of Windows writes as CR LF as Windows
// programs do.
int modeEmit(const char *file)
{
    QFile input(QString::fromLocal8Bit(file));
    if (!input.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = input.readAll();
    for (qsizetype at = 0; at < bytes.size(); at += 65536)
        std::fwrite(bytes.constData() + at, 1,
                    size_t(std::min<qsizetype>(65536, bytes.size() - at)), stdout);
    std::fflush(stdout);
    return 0;
}

// Runs in a fresh process: the pane streams `file`, written by this program, with the slow
// client listening or with none. Prints the time, the longest stall and the client's events; with
// the client on a platform whose accessibility cannot be made active, prints nothing.
int modeStreamWithClient(const QString &file, bool withClient)
{
    if (withClient)
        QAccessible::installUpdateHandler(slowClient);
    MainWindow window;
    MainWindowAccess ui(window);
    showExposed(window);
    if (withClient && !attachAccessibilityClient(&window))
        return 0;
    QCoreApplication::processEvents();
    clientEvents = 0;
    CommandInfo info;
    info.description = QStringLiteral("stream");
    info.command = QStringLiteral("\"%1\" --emit \"%2\"")
                       .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()),
                            QDir::toNativeSeparators(file));

    Heartbeat heartbeat;
    const double elapsed = msToTheRunsEnd(ui, info);
    std::printf("%f %f %d %lld\n", elapsed, heartbeat.longest, clientEvents,
                static_cast<long long>(ui.outputEdit()->document()->characterCount()));
    return 0;
}

// The 4 MB stream with the slow client and without it, three times each, alternating. Under
// Windows the bench's processes use the Windows platform, whose UI Automation is made active as a
// client's first request does; the offscreen platform and Linux without AT-SPI have none.
void benchAccessibilityClient()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("stream.txt"));
    QFile output(file);
    if (!output.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file));
    QByteArray lines;
    for (int i = 1; lines.size() < 4 * 1000 * 1000; ++i)
        lines += QByteArray::number(i).rightJustified(7) + " output line of a console program\n";
    output.write(lines);
    output.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));
    const auto run = [&](bool withClient) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--stream-client"), file, QString::number(withClient)});
        child.waitForFinished(-1);
        QList<double> values;
        for (const QByteArray &part : child.readAllStandardOutput().simplified().split(' '))
            values.append(part.toDouble());
        return values;
    };
    QList<double> time, stall, timeWithout, stallWithout;
    for (int i = 0; i < 3; ++i) {
        const QList<double> with = run(true);
        if (with.size() < 4) {
            std::printf("    4 MB stream with a 65 ms accessibility client: this platform has no "
                        "accessibility to make active\n");
            return;
        }
        const QList<double> without = run(false);
        std::printf("    run %d: %.0f ms, stall %.0f ms, %.0f client events; without client %.0f "
                    "ms, stall %.0f ms\n",
                    i + 1, with.value(0), with.value(1), with.value(2), without.value(0),
                    without.value(1));
        if (with.value(3) != without.value(3))
            std::printf("    the pane differs: %.0f characters against %.0f\n", with.value(3),
                        without.value(3));
        time.append(with.value(0));
        stall.append(with.value(1));
        timeWithout.append(without.value(0));
        stallWithout.append(without.value(1));
    }
    const Sample a = summarize(time), b = summarize(timeWithout);
    printRow("4 MB, 65 ms a11y client (median)", ms(a.median), ms(b.median) + " (no client)",
             a.median / b.median, "ratio <= 1.5");
    const Sample c = summarize(stall), d = summarize(stallWithout);
    printRow("stall, 65 ms a11y client (worst)", ms(c.worst), ms(d.worst) + " (no client)",
             c.worst / d.worst, "<= +150 ms");
}

} // namespace

int main(int argc, char **argv)
{
    // The tests' 1920 x 1200 screen, where the window opens at its full 1200 x 1000 like the
    // start-up floor's window.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUILLWICK_TEST_SCREEN_CONFIG);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("--catalog-first-build"))
        return modeCatalogFirstBuild();
    if (mode == QLatin1String("--startup") || mode == QLatin1String("--startup-bare"))
        return modeStartup(argc, argv, mode == QLatin1String("--startup-bare"));
    if (mode == QLatin1String("--emit") && argc > 2)
        return modeEmit(argv[2]);
    if (mode == QLatin1String("--stream-client")) {
        QApplication app(argc, argv);
        if (argc < 4)
            qFatal("usage: --stream-client <file> <0/1>");
        return modeStreamWithClient(QString::fromLocal8Bit(argv[2]), argv[3][0] == '1');
    }
    if (mode == QLatin1String("--stream-pane") || mode == QLatin1String("--stream-floor") ||
        mode == QLatin1String("--stream-widget")) {
        QApplication app(argc, argv);
        if (mode == QLatin1String("--stream-widget"))
            return modeStreamWidget();
        return mode == QLatin1String("--stream-pane")
                   ? modeStreamPane(QString::fromLocal8Bit(argv[2]))
                   : modeStreamFloor();
    }

    QApplication app(argc, argv);
    if (mode == QLatin1String("--flood-stop") || mode == QLatin1String("--flood-line-stop"))
        return modeFloodStop(mode == QLatin1String("--flood-line-stop"));
    if (mode == QLatin1String("--flood-floor"))
        return modeFloodFloor();
    printHeader();
    // The decoder's figures alone, for comparing two builds.
    if (mode == QLatin1String("--decoding")) {
        benchDecoding(benchStreaming());
        benchByteReads();
        return 0;
    }
    // Under Wine only what differs on Windows: the other figures run POSIX command lines.
    if (mode == QLatin1String("--windows") || mode == QLatin1String("--accessibility")) {
        if (mode == QLatin1String("--windows")) {
            benchFloodStop(false);
            benchFloodStop(true);
        }
        benchAccessibilityClient();
        return 0;
    }
    benchCatalogFirstBuild();
    benchStartup();
    benchSearchKeystroke();
    benchDecoding(benchStreaming());
    benchByteReads();
    benchProgressCounter();
    benchStopLatency();
    benchStopDuringStream();
    benchFloodStop(false);
    benchFloodStop(true);
    benchAccessibilityClient();
    return 0;
}

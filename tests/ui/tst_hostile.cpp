// Hostile command lines and hostile child output against the real window, through /bin/sh.
// POSIX only: the command lines are shell lines.
#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "posixprocess.h"
#include "testmain.h"
#include "widgetwatch.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");
constexpr int kRunEndMs = 20000;

CommandInfo record(const QString &line)
{
    CommandInfo info;
    info.description = QStringLiteral("hostile");
    info.command = line;
    return info;
}

// The text a run printed: what stands between the end of its header and its footer.
QString runOutput(const QString &pane)
{
    const QString headerEnd = kRule + QStringLiteral("\n\n");
    const qsizetype start = pane.indexOf(headerEnd, pane.indexOf(QStringLiteral("执行时间: ")));
    const qsizetype end = pane.lastIndexOf(kFooter);
    if (start < 0 || end < 0)
        return {};
    return pane.mid(start + headerEnd.size(), end - start - headerEnd.size());
}

} // namespace

class HostileInputTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void metacharactersChineseAndLongLinesRunUnchanged();
    void blankLinesAreRefused();
    void hostileOutputBytesDoNotBreakThePane();
    void everyByteOfTenMegabytesArrivesInOrder();
    void childrenThatIgnoreTerminationAreStillEnded();
    void hundredRunsBackToBack();
    void savingWhileOutputArrivesWritesTheSnapshot();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;

    QString pane() const { return ui->outputEdit()->toPlainText(); }
    bool runIsOpen() const { return ui->process() != nullptr; }
    void runCustom(const QString &text)
    {
        ui->customCommandEdit()->setText(text);
        QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
    }
};

void HostileInputTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    ui->setRunTimeoutMs(kRunEndMs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void HostileInputTest::cleanup()
{
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
}

void HostileInputTest::metacharactersChineseAndLongLinesRunUnchanged()
{
    const QStringList lines = {
        QStringLiteral("echo \"quoted % ^ & | < > ( ) !\" && echo '%PATH%' | cat"),
        QStringLiteral("echo 中文输出（全角）"),
        QStringLiteral("echo ") + QString(8186, QLatin1Char('x')), // 8191 characters
        QStringLiteral("echo ") + QString(20000, QLatin1Char('y')),
        QStringLiteral("( echo unbalanced"),
    };
    QCOMPARE(lines.at(2).size(), 8191);
    for (const QString &line : lines) {
        ui->outputEdit()->clear();
        runCustom(line);
        QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
        const QString text = ui->receivedOutputText();
        QVERIFY2(text.contains(QStringLiteral("\n命令内容: ") + line + QLatin1Char('\n')),
                 qPrintable(line.left(60)));
        QVERIFY(text.endsWith(kFooter));
    }
    // Longer than the entry takes: run directly.
    ui->outputEdit()->clear();
    const QString huge = QStringLiteral("echo ") + QString(100000, QLatin1Char('w'));
    ui->executeCommand(record(huge));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(ui->receivedOutputText().contains(QStringLiteral("\n命令内容: ") + huge +
                                              QLatin1Char('\n')));
    QCOMPARE(runOutput(ui->receivedOutputText()),
             QString(100000, QLatin1Char('w')) + QLatin1Char('\n'));

    // The quoted metacharacters reached the program as typed.
    ui->outputEdit()->clear();
    runCustom(lines.first());
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QCOMPARE(runOutput(ui->receivedOutputText()),
             QStringLiteral("quoted % ^ & | < > ( ) !\n%PATH%\n"));
}

void HostileInputTest::blankLinesAreRefused()
{
    for (const QString &blank : {QString(), QStringLiteral("   "), QStringLiteral("\t \u3000 ")}) {
        auto seen = answerNextMessageBox(QMessageBox::Ok);
        runCustom(blank);
        QTRY_VERIFY(seen->seen);
        QCOMPARE(seen->title, QStringLiteral("提示"));
        QCOMPARE(seen->text, QStringLiteral("请输入要执行的命令"));
        QVERIFY(pane().isEmpty());
        QVERIFY(!runIsOpen());
    }
}

void HostileInputTest::hostileOutputBytesDoNotBreakThePane()
{
    const QStringList lines = {
        // Bytes that are not UTF-8 and lone CRs, then a line with NUL bytes (UTF-16LE), then
        // 8-bit text again.
        QStringLiteral("printf 'a\\377\\376b\\rc\\rd\\200\\nh\\000i\\000\\r\\000\\n\\000ok\\r\\n'"),
        // One line of 10 MB without a line break.
        QStringLiteral("head -c 10000000 /dev/zero | tr '\\000' 'z'"),
        // A 50 MB flood of short lines.
        QStringLiteral("yes flood | head -c 50000000"),
    };
    // Slow builds (sanitizers) need more than the usual bound for 50 MB.
    ui->setRunTimeoutMs(300000);
    for (const QString &line : lines) {
        ui->outputEdit()->clear();
        ui->executeCommand(record(line));
        QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), 300000);
        QVERIFY(pane().endsWith(kFooter));
    }
    // The 50 MB flood arrived whole: 50,000,000 bytes are 8,333,333 lines and a part.
    QCOMPARE(runOutput(ui->receivedOutputText()).size(), 50000000);

    ui->outputEdit()->clear();
    ui->executeCommand(record(lines.first()));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    // Each CR returns to the start of the line, and what follows overwrites it as in a console.
    const QString replacement(QChar::ReplacementCharacter);
    QCOMPARE(runOutput(ui->receivedOutputText()),
             QStringLiteral("d") + replacement + replacement + QStringLiteral("b\nhi\nok\n"));
}

void HostileInputTest::everyByteOfTenMegabytesArrivesInOrder()
{
    // Numbered lines, so that a lost, doubled or reordered chunk changes the checksum.
    const QString line = QStringLiteral("seq 1 1300000 | sed 's/$/ 输出/'");
    QProcess reference;
    reference.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line});
    QVERIFY(reference.waitForFinished(60000));
    const QByteArray expected = reference.readAllStandardOutput();
    QVERIFY(expected.size() > 10000000);

    ui->setRunTimeoutMs(300000);
    ui->executeCommand(record(line));
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), 300000);
    const QByteArray actual = runOutput(ui->receivedOutputText()).toUtf8();
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(QCryptographicHash::hash(actual, QCryptographicHash::Sha256),
             QCryptographicHash::hash(expected, QCryptographicHash::Sha256));

    // Stopped while the pane is still busy with what it read: what it shows is an unbroken start
    // of the stream, nothing lost, doubled or put after the notice of the stop.
    QTest::mouseClick(findButton(window, QStringLiteral("清空输出")), Qt::LeftButton);
    ui->executeCommand(record(QStringLiteral("seq 1 20000000")));
    QTRY_VERIFY_WITH_TIMEOUT(pane().size() > 500000, kRunEndMs);
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    const QString notice = QStringLiteral("\n\n命令已被用户中断！\n");
    QString numbers = runOutput(ui->receivedOutputText());
    QVERIFY(numbers.endsWith(notice));
    numbers.chop(notice.size());
    const QStringList lines = numbers.split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 50000);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        QCOMPARE(lines.at(i), QString::number(i + 1));
    // The child may have been ended in the middle of a line.
    QVERIFY(QString::number(lines.size()).startsWith(lines.last()));
}

void HostileInputTest::childrenThatIgnoreTerminationAreStillEnded()
{
    // The shell and its grandchild ignore SIGTERM; the grandchild's pid is the first output line.
    const QString line =
        QStringLiteral("trap '' TERM; sh -c \"trap '' TERM; sleep 30\" & echo $!; wait");
    static const QRegularExpression number(QStringLiteral("\n\n(\\d+)\n"));

    // Stop.
    ui->executeCommand(record(line));
    QTRY_VERIFY_WITH_TIMEOUT(number.match(pane()).hasMatch(), kRunEndMs);
    qint64 grandchild = number.match(pane()).captured(1).toLongLong();
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);

    // Time-out.
    ui->outputEdit()->clear();
    ui->setRunTimeoutMs(500);
    ui->executeCommand(record(line));
    QTRY_VERIFY_WITH_TIMEOUT(number.match(pane()).hasMatch(), kRunEndMs);
    grandchild = number.match(pane()).captured(1).toLongLong();
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
    QVERIFY(pane().contains(QStringLiteral("\n命令执行超时！\n")));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);

    // Closing the window returns at once and leaves nothing behind.
    ui->outputEdit()->clear();
    ui->setRunTimeoutMs(kRunEndMs);
    ui->executeCommand(record(line));
    QTRY_VERIFY_WITH_TIMEOUT(number.match(pane()).hasMatch(), kRunEndMs);
    grandchild = number.match(pane()).captured(1).toLongLong();
    const qint64 shell = ui->process()->processId();
    QElapsedTimer closing;
    closing.start();
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    QVERIFY2(closing.elapsed() < 2500, qPrintable(QString::number(closing.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(grandchild), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(shell), 2000);
}

void HostileInputTest::hundredRunsBackToBack()
{
    QList<qint64> shells;
    for (int i = 0; i < 100; ++i) {
        CommandInfo info = record(QStringLiteral("echo run %1; sleep 5").arg(i));
        info.description = QStringLiteral("run %1").arg(i);
        ui->executeCommand(info);
        shells.append(ui->process()->processId());
    }
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);

    const QString text = pane();
    QCOMPARE(text.count(kFooter), 100);
    QCOMPARE(text.count(QStringLiteral("\n执行命令: ")), 100);
    // Header and footer alternate, run by run, in order.
    qsizetype position = 0;
    for (int i = 0; i < 100; ++i) {
        const qsizetype header =
            text.indexOf(QStringLiteral("\n执行命令: run %1\n").arg(i), position);
        QVERIFY2(header >= position, qPrintable(QString::number(i)));
        const qsizetype footer = text.indexOf(kFooter, header);
        QVERIFY(footer > header);
        const qsizetype nextHeader = text.indexOf(QStringLiteral("\n执行命令: "), header + 1);
        QVERIFY(nextHeader < 0 || footer < nextHeader);
        position = footer;
    }
    for (qint64 shell : std::as_const(shells))
        QTRY_VERIFY_WITH_TIMEOUT(processEnded(shell), 2000);
}

void HostileInputTest::savingWhileOutputArrivesWritesTheSnapshot()
{
    ui->executeCommand(record(QStringLiteral("while true; do echo tick; sleep 0.01; done")));
    QTRY_VERIFY_WITH_TIMEOUT(pane().count(QStringLiteral("tick")) >= 5, kRunEndMs);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("snapshot.txt"));
    // Keep the file dialog open a while, so that more output arrives before the file is written.
    QElapsedTimer open;
    open.start();
    whenNextModal([] { return true; },
                  [&](QWidget *modal) {
                      auto *dialog = qobject_cast<QFileDialog *>(modal);
                      if (!dialog || open.elapsed() < 300)
                          return false;
                      // Typed as a user would: selectFile() can be undone by the folder view
                      // loading late.
                      auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                      if (!name)
                          return false;
                      name->setText(path);
                      static_cast<QDialog *>(dialog)->accept();
                      return true;
                  });
    auto confirmation = answerNextMessageBox(QMessageBox::Ok);
    const QString snapshot = pane();
    QTest::mouseClick(findButton(window, QStringLiteral("保存到文件")), Qt::LeftButton);
    QTRY_VERIFY(confirmation->seen);
    QCOMPARE(confirmation->title, QStringLiteral("成功"));
    QCOMPARE(confirmation->text, QStringLiteral("输出已保存到: %1").arg(path));

    QVERIFY(pane().size() > snapshot.size());
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), snapshot.toUtf8());
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!runIsOpen(), kRunEndMs);
}

QUILLWICK_TEST_MAIN(HostileInputTest)
#include "tst_hostile.moc"

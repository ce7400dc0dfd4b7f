#include "exec/processtree.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"
#include "fixedpitch.h"
#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "testmain.h"
#include "widgetwatch.h"

#include <QBoxLayout>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include "posixprocess.h"
#endif

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void textWindowIsAModalReadOnlyMonospacedView();
    void usageHelpAndAboutTextsAreExact();
    void informationRunsShowTheirOwnDecodedOutput();
    void informationRunsOpenOneWindowEachAndGetNoInput();
    void informationRunThatCannotStartIsReportedAndReleased();
    void diskInformationRunsWhatThisWindowsHas();
    void closingTheWindowDropsRunsStillUnderWay();
    void commandHelpAsksOnlyTheFirstWordAndShowsBothStreams();
    void commandHelpIsBoundedAndEndsTheWholeProgram();
    void commandHelpAndInformationRunsReachCmdExe();

private:
    void selectIpconfigAll();
    void writeHelpProgram(const QByteArray &shellBody, const QByteArray &batchBody);
    QPushButton *button(const char *text) { return findButton(window, QString::fromUtf8(text)); }

    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QTemporaryDir *programs = nullptr;
    QByteArray previousPath;
};

void DialogsTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void DialogsTest::cleanup()
{
    ShellCommand::setProgramForTesting({});
    ProcessTree::setFailingStepForTesting(std::nullopt);
    Wmic::setInstalledForTesting(std::nullopt);
    if (programs) {
        qputenv("PATH", previousPath);
        delete programs;
        programs = nullptr;
    }
    delete ui;
    delete window;
}

// Selects the catalog row "ipconfig /all" through the search box and the table.
void DialogsTest::selectIpconfigAll()
{
    ui->searchEdit()->setText(QStringLiteral("ipconfig"));
    QTableWidget *table = ui->commandTable();
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("ipconfig /all"));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(0, 1)).center());
    QCOMPARE(ui->currentCommand().command, QStringLiteral("ipconfig /all"));
}

// Puts a program named "ipconfig" first on PATH, standing in for the real one: a shell script
// for /bin/sh, a batch file for cmd.exe.
void DialogsTest::writeHelpProgram(const QByteArray &shellBody, const QByteArray &batchBody)
{
    if (!programs) {
        programs = new QTemporaryDir;
        QVERIFY(programs->isValid());
        previousPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(QDir::toNativeSeparators(programs->path())) +
                            QDir::listSeparator().toLatin1() + previousPath);
    }
#ifdef Q_OS_WIN
    Q_UNUSED(shellBody);
    QFile script(programs->filePath(QStringLiteral("ipconfig.cmd")));
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("@echo off\r\n" + QByteArray(batchBody).replace("\n", "\r\n") + "\r\n");
#else
    Q_UNUSED(batchBody);
    QFile script(programs->filePath(QStringLiteral("ipconfig")));
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("#!/bin/sh\n" + shellBody + "\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
#endif
}

void DialogsTest::textWindowIsAModalReadOnlyMonospacedView()
{
    QString longText;
    for (int line = 1; line <= 300; ++line)
        longText += QStringLiteral("<b>line %1</b>\n").arg(line);

    struct Seen
    {
        bool seen = false;
        bool modal = false;
        QWidget *parent = nullptr;
        QSize size;
        QString title;
        QString text;
        bool readOnly = false;
        QString family;
        int pointSize = 0;
        bool fixedPitch = false;
        qreal tabStop = 0;
        qreal spaceAdvance = 0;
        int scrolledTo = -1;
        QStringList layoutItems;
        Qt::Alignment buttonAlignment;
        bool buttonIsDefault = false;
        int result = -1;
    };
    auto seen = QSharedPointer<Seen>::create();
    whenNextModal([seen] { return !seen->seen; },
                  [seen](QWidget *modal) {
                      auto *dialog = qobject_cast<QDialog *>(modal);
                      auto *area = modal->findChild<QPlainTextEdit *>();
                      QPushButton *close = findButton(modal, QStringLiteral("关闭"));
                      if (!dialog || !area || !close)
                          return false;
                      seen->seen = true;
                      seen->modal = dialog->isModal();
                      seen->parent = dialog->parentWidget();
                      seen->size = dialog->size();
                      seen->title = dialog->windowTitle();
                      seen->text = area->toPlainText();
                      seen->readOnly = area->isReadOnly();
                      seen->family = area->font().family();
                      seen->pointSize = area->font().pointSize();
                      seen->fixedPitch = advancesAlike(area->font());
                      seen->tabStop = area->tabStopDistance();
                      seen->spaceAdvance = QFontMetricsF(area->font()).horizontalAdvance(' ');
                      seen->scrolledTo = area->verticalScrollBar()->value();
                      auto *layout = qobject_cast<QVBoxLayout *>(dialog->layout());
                      for (int i = 0; layout && i < layout->count(); ++i) {
                          QWidget *item = layout->itemAt(i)->widget();
                          seen->layoutItems << (item == area    ? QStringLiteral("text")
                                                : item == close ? QStringLiteral("button")
                                                                : QStringLiteral("other"));
                          if (item == close)
                              seen->buttonAlignment = layout->itemAt(i)->alignment();
                      }
                      seen->buttonIsDefault = close->isDefault();
                      // Return reaches the default button even with the focus in the text.
                      area->setFocus();
                      QTest::keyClick(area, Qt::Key_Return);
                      seen->result = dialog->result();
                      return true;
                  });
    ui->showTextDialog(QStringLiteral("标题"), longText);

    QVERIFY(seen->seen);
    QVERIFY(seen->modal);
    QCOMPARE(seen->parent, window);
    QCOMPARE(seen->size, QSize(800, 600));
    QCOMPARE(seen->title, QStringLiteral("标题"));
    QCOMPARE(seen->text, longText); // plain text, tags shown as typed
    QVERIFY(seen->readOnly);
    // The window's style sheet gives every widget "Microsoft YaHei"; the text keeps its own font.
    QCOMPARE(seen->family, QStringLiteral("Consolas"));
    QCOMPARE(seen->pointSize, 10);
    QVERIFY(seen->fixedPitch);
    // A console's tab stops: every 8 columns.
    QCOMPARE(seen->tabStop, 8 * seen->spaceAdvance);
    QCOMPARE(seen->scrolledTo, 0);
    QCOMPARE(seen->layoutItems, QStringList({QStringLiteral("text"), QStringLiteral("button")}));
    QCOMPARE(seen->buttonAlignment, Qt::AlignHCenter);
    QVERIFY(seen->buttonIsDefault);
    QCOMPARE(seen->result, int(QDialog::Accepted));

    // Esc closes it too; a second window starts afresh at 800 × 600 even if the first was resized.
    auto escaped = QSharedPointer<QSize>::create();
    whenNextModal([escaped] { return escaped->isEmpty(); },
                  [escaped](QWidget *modal) {
                      if (!isTextWindow(modal))
                          return false;
                      *escaped = modal->size();
                      modal->resize(300, 200);
                      QTest::keyClick(modal, Qt::Key_Escape);
                      return true;
                  });
    ui->showTextDialog(QStringLiteral("一"), QStringLiteral("x"));
    QCOMPARE(*escaped, QSize(800, 600));
    auto again = answerTextWindows(1);
    ui->showTextDialog(QStringLiteral("二"), QStringLiteral("y"));
    QCOMPARE(again->size(), 1);
    QCOMPARE(again->first().size, QSize(800, 600));
    QCOMPARE(again->first().title, QStringLiteral("二"));
}

void DialogsTest::usageHelpAndAboutTextsAreExact()
{
    // Written out from the description of the two texts, character for character.
    const QString usage = QStringLiteral("Quillwick v2.0 使用帮助\n"
                                         "\n"
                                         "主要功能：\n"
                                         "1. 分类浏览命令：左侧选择分类，中间显示命令列表\n"
                                         "2. 搜索命令：在搜索框中输入关键词\n"
                                         "3. 执行命令：双击命令或点击\"执行命令\"按钮\n"
                                         "4. 查看详情：选择命令后查看详细信息\n"
                                         "5. 自定义命令：执行任意CMD命令\n"
                                         "\n"
                                         "快捷键：\n"
                                         "- F5: 刷新命令列表\n"
                                         "- Ctrl+S: 保存输出\n"
                                         "- Ctrl+C: 复制输出\n"
                                         "- Ctrl+F: 聚焦搜索框\n"
                                         "- Ctrl+Q: 退出程序\n"
                                         "- Esc: 停止当前命令执行\n"
                                         "\n"
                                         "注意事项：\n"
                                         "- 标有\"是\"的命令需要管理员权限\n"
                                         "- 部分命令会打开新的窗口\n"
                                         "- 长时间运行的命令可以使用\"停止执行\"按钮中断\n");
    const QString about = QStringLiteral("Quillwick v2.0\n"
                                         "\n"
                                         "一个功能完整的Windows系统管理工具，\n"
                                         "集成了各种CMD命令，方便系统管理员和\n"
                                         "普通用户使用。\n"
                                         "\n"
                                         "功能特点：\n"
                                         "- 21个分类，超过500个CMD命令\n"
                                         "- 支持命令搜索\n"
                                         "- 支持自定义命令\n"
                                         "- 实时命令输出显示\n"
                                         "- 管理员权限检测\n"
                                         "\n"
                                         "系统要求：\n"
                                         "- Windows 7/8/10/11\n"
                                         "- 无需额外运行时（静态链接Qt依赖）\n");

    auto windows = answerTextWindows(2);
    QVERIFY(QMetaObject::invokeMethod(window, "showHelp"));
    QVERIFY(QMetaObject::invokeMethod(window, "showAbout"));
    QCOMPARE(windows->size(), 2);
    QCOMPARE(windows->at(0).title, QStringLiteral("使用帮助"));
    QCOMPARE(windows->at(0).text, usage);
    QCOMPARE(windows->at(1).title, QStringLiteral("关于"));
    QCOMPARE(windows->at(1).text, about);
}

void DialogsTest::informationRunsShowTheirOwnDecodedOutput()
{
#ifndef Q_OS_UNIX
    QSKIP("The command lines here are /bin/sh lines; the cmd.exe check is "
          "commandHelpAndInformationRunsReachCmdExe.");
#else
    // Standard error is part of the text, decoded from the run's own start (Linux's system
    // encoding is UTF-8).
    auto windows = answerTextWindows(1);
    ui->runCommandToDialog(QStringLiteral("标题"),
                           QStringLiteral("printf 'x\\n'; printf '\\344\\270\\255\\n' >&2"));
    QTRY_COMPARE(windows->size(), 1);
    QCOMPARE(windows->first().title, QStringLiteral("标题"));
    QCOMPARE(windows->first().text, QStringLiteral("x\n中\n"));

    // The system information runs "systeminfo" through the stand-in shell, which does not know
    // it: the window still opens, with the shell's message.
    windows = answerTextWindows(1);
    QVERIFY(QMetaObject::invokeMethod(window, "showSystemInfo"));
    QTRY_COMPARE(windows->size(), 1);
    QCOMPARE(windows->first().title, QStringLiteral("系统信息"));
    QVERIFY2(windows->first().text.contains(QStringLiteral("systeminfo")) &&
                 windows->first().text.contains(QStringLiteral("not found")),
             qPrintable(windows->first().text));

#endif
}

void DialogsTest::informationRunsOpenOneWindowEachAndGetNoInput()
{
    // Each with its own output, whichever ends first.
    auto windows = answerTextWindows(4, 20000);
    QVERIFY(QMetaObject::invokeMethod(window, "showDiskInfo"));
    QVERIFY(QMetaObject::invokeMethod(window, "showDiskInfo"));
    ui->runCommandToDialog(QStringLiteral("甲"), QStringLiteral("echo a"));
    ui->runCommandToDialog(QStringLiteral("乙"), QStringLiteral("echo b"));
    QTRY_COMPARE_WITH_TIMEOUT(windows->size(), 4, 20000);
    QStringList seen;
    for (const SeenTextWindow &text : *windows)
        seen << text.title + QLatin1Char('=') +
                    (text.title == QStringLiteral("磁盘信息") ? QStringLiteral("…") : text.text);
    seen.sort();
    QCOMPARE(seen, QStringList({QStringLiteral("乙=b\n"), QStringLiteral("甲=a\n"),
                                QStringLiteral("磁盘信息=…"), QStringLiteral("磁盘信息=…")}));

    // Every run let go of its process once its window was closed.
    QTRY_VERIFY(window->findChildren<QProcess *>().isEmpty());

    // A run that reads its input gets none and ends, so its window opens.
    windows = answerTextWindows(1, 5000);
#ifdef Q_OS_WIN
    ui->runCommandToDialog(QStringLiteral("丙"), QStringLiteral("set /p answer= & echo done"));
#else
    ui->runCommandToDialog(QStringLiteral("丙"), QStringLiteral("read answer; echo done"));
#endif
    QTRY_COMPARE_WITH_TIMEOUT(windows->size(), 1, 5000);
    QVERIFY2(windows->first().text.contains(QStringLiteral("done")),
             qPrintable(windows->first().text));
}

void DialogsTest::closingTheWindowDropsRunsStillUnderWay()
{
    // The end of a run that the closing window cuts short opens no window.
    auto windows = answerTextWindows(1, 3000);
#ifdef Q_OS_WIN
    ui->runCommandToDialog(QStringLiteral("丁"), QStringLiteral("ping -n 4 127.0.0.1 > nul"));
#else
    // The command's own program records its id, to be checked once the window is gone.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pidFile = dir.filePath(QStringLiteral("sleep.pid"));
    ui->runCommandToDialog(QStringLiteral("丁"),
                           QStringLiteral("sleep 30 & echo $! > '%1'; wait").arg(pidFile));
    QTRY_VERIFY(QFileInfo(pidFile).size() > 0);
#endif
    QTest::qWait(200);
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    QTest::qWait(1000);
    QVERIFY(windows->isEmpty());
#ifdef Q_OS_UNIX
    const qint64 sleepPid = pidFromFile(pidFile);
    QVERIFY(sleepPid > 0);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(sleepPid), 2000);
#endif
}

void DialogsTest::informationRunThatCannotStartIsReportedAndReleased()
{
    ShellCommand::setProgramForTesting(QStringLiteral("/nonexistent/quillwick-shell"));
    auto windows = answerTextWindows(1, 1000);
    auto box = answerNextMessageBox(QMessageBox::Ok);
    QVERIFY(QMetaObject::invokeMethod(window, "showNetworkInfo"));
    QTRY_VERIFY(box->seen);
    QCOMPARE(box->title, QStringLiteral("错误"));
    QCOMPARE(box->icon, QMessageBox::Critical);
    const QString prefix = QStringLiteral("无法执行命令: ipconfig /all\n");
    QVERIFY2(box->text.startsWith(prefix) && box->text.size() > prefix.size(),
             qPrintable(box->text));
    QTRY_VERIFY(window->findChildren<QProcess *>().isEmpty());
    QTest::qWait(1000);
    QVERIFY(windows->isEmpty());

    // Likewise a child that started but could not be made ready to run (on Windows: joining its
    // job or resuming it); the help says so at once instead of waiting out its bound.
    ShellCommand::setProgramForTesting({});
    ProcessTree::setFailingStepForTesting(ProcessTree::SetUpStep::Resume);
    box = answerNextMessageBox(QMessageBox::Ok);
    QVERIFY(QMetaObject::invokeMethod(window, "showNetworkInfo"));
    QTRY_VERIFY(box->seen);
    QVERIFY2(box->text.startsWith(prefix) && box->text.size() > prefix.size(),
             qPrintable(box->text));
    QTRY_VERIFY(window->findChildren<QProcess *>().isEmpty());

    selectIpconfigAll();
    ui->setHelpTimeoutMs(15000);
    box = answerNextMessageBox(QMessageBox::Ok);
    QElapsedTimer clock;
    clock.start();
    button("查看帮助")->click();
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(box->seen);
    QCOMPARE(box->text, QStringLiteral("无法获取命令帮助（超时）"));
}

void DialogsTest::diskInformationRunsWhatThisWindowsHas()
{
    // The box of a start failure names the line the view runs: wmic where it is installed, an
    // equivalent PowerShell query where it is not.
    ShellCommand::setProgramForTesting(QStringLiteral("/nonexistent/quillwick-shell"));
    for (const bool installed : {true, false}) {
        Wmic::setInstalledForTesting(installed);
        auto box = answerNextMessageBox(QMessageBox::Ok);
        QVERIFY(QMetaObject::invokeMethod(window, "showDiskInfo"));
        QTRY_VERIFY(box->seen);
        const QString line =
            installed ? QStringLiteral("wmic diskdrive get size,model")
                      : QStringLiteral("powershell -NoProfile -Command \"Get-CimInstance "
                                       "Win32_DiskDrive | Format-Table Model,Size -AutoSize\"");
        QVERIFY2(box->text.startsWith(QStringLiteral("无法执行命令: ") + line + QLatin1Char('\n')),
                 qPrintable(box->text));
    }
}

void DialogsTest::commandHelpAsksOnlyTheFirstWordAndShowsBothStreams()
{
    // Without a selected row nothing happens.
    QCOMPARE(ui->commandTable()->currentRow(), -1);
    auto windows = answerTextWindows(1, 300);
    auto box = answerNextMessageBox(QMessageBox::Ok, 300);
    button("查看帮助")->click();
    QTest::qWait(400);
    QVERIFY(windows->isEmpty());
    QVERIFY(!box->seen);

    // Only the first word is asked, with "/?"; standard error gets its own section.
    writeHelpProgram("printf 'usage of ipconfig, asked with: %s\\n' \"$*\"\n"
                     "printf 'a warning\\n' >&2",
                     "echo usage of ipconfig, asked with: %*\n"
                     ">&2 echo a warning");
    selectIpconfigAll();
    windows = answerTextWindows(1);
    button("查看帮助")->click();
    QCOMPARE(windows->size(), 1);
    QCOMPARE(windows->first().title, QStringLiteral("命令帮助"));
    QCOMPARE(windows->first().text,
             QStringLiteral("命令: ipconfig\n\nusage of ipconfig, asked with: /?\n"
                            "\n错误输出:\na warning\n"));

    // Help on standard error only.
    writeHelpProgram("printf 'only an error\\n' >&2; exit 1", ">&2 echo only an error\nexit /b 1");
    windows = answerTextWindows(1);
    button("查看帮助")->click();
    QCOMPARE(windows->first().text,
             QStringLiteral("命令: ipconfig\n\n\n错误输出:\nonly an error\n"));

    // Nothing at all.
    writeHelpProgram("exit 0", "exit /b 0");
    windows = answerTextWindows(1);
    button("查看帮助")->click();
    QCOMPARE(windows->first().text, QStringLiteral("命令: ipconfig\n\n"));
}

void DialogsTest::commandHelpIsBoundedAndEndsTheWholeProgram()
{
    // A program that waits for input reads the end of its input at once, far within the bound.
    ui->setHelpTimeoutMs(5000);
    writeHelpProgram("read answer; printf 'read [%s]\\n' \"$answer\"",
                     "set /p answer=\necho read [%answer%]");
    selectIpconfigAll();
    auto windows = answerTextWindows(1);
    auto noBox = answerMessageBoxes(1);
    QElapsedTimer clock;
    clock.start();
    button("查看帮助")->click();
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY(noBox->isEmpty());
    noBox.reset();
    QCOMPARE(windows->size(), 1);
    QCOMPARE(windows->first().text, QStringLiteral("命令: ipconfig\n\nread []\n"));

    // One that hangs anyway hits the bound: a warning, no text window, and the program it started
    // ends with it.
    ui->setHelpTimeoutMs(300);
    const QString pidFile = programs->filePath(QStringLiteral("sleep.pid"));
    writeHelpProgram("sleep 30 & echo $! > '" + QFile::encodeName(pidFile) + "'; wait",
                     ":again\ngoto again");
    windows = answerTextWindows(1, 1000);
    auto box = answerNextMessageBox(QMessageBox::Ok);
    clock.restart();
    button("查看帮助")->click();
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(box->seen);
    QCOMPARE(box->title, QStringLiteral("错误"));
    QCOMPARE(box->text, QStringLiteral("无法获取命令帮助（超时）"));
    QCOMPARE(box->icon, QMessageBox::Warning);
#ifdef Q_OS_UNIX
    const qint64 sleepPid = pidFromFile(pidFile);
    QVERIFY(sleepPid > 0);
    QTRY_VERIFY_WITH_TIMEOUT(processEnded(sleepPid), 3000);
#endif
    QTest::qWait(1000);
    QVERIFY(windows->isEmpty());
}

void DialogsTest::commandHelpAndInformationRunsReachCmdExe()
{
#ifndef Q_OS_WIN
    QSKIP("Windows only: cmd.exe answers the help request and the information run.");
#else
    // "dir /a /s" asks cmd.exe for the help of its built-in dir.
    ui->searchEdit()->setText(QStringLiteral("dir /a /s"));
    QTableWidget *table = ui->commandTable();
    QVERIFY(table->rowCount() > 0);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("dir /a /s"));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(0, 1)).center());
    ui->setHelpTimeoutMs(15000);
    auto windows = answerTextWindows(1, 20000);
    button("查看帮助")->click();
    QCOMPARE(windows->size(), 1);
    const QString help = windows->first().text;
    QVERIFY2(help.startsWith(QStringLiteral("命令: dir\n\n")), qPrintable(help));
    QVERIFY2(help.size() > QStringLiteral("命令: dir\n\n").size() + 20, qPrintable(help));

    windows = answerTextWindows(1, 20000);
    ui->runCommandToDialog(QStringLiteral("网络信息"),
                           QStringLiteral("echo quillwick-info && echo second line"));
    QTRY_COMPARE_WITH_TIMEOUT(windows->size(), 1, 20000);
    QCOMPARE(windows->first().title, QStringLiteral("网络信息"));
    QVERIFY2(windows->first().text.contains(QStringLiteral("quillwick-info")) &&
                 windows->first().text.contains(QStringLiteral("second line")),
             qPrintable(windows->first().text));
#endif
}

QUILLWICK_TEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"

// The execution entry, its administrator gate, elevation and the custom-command tab, driven through
// the real window. The command lines run here mean the same to /bin/sh and to cmd.exe.
#include "exec/elevation.h"
#include "exec/shellcommand.h"
#include "exec/telnet.h"
#include "exec/wmic.h"
#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "testmain.h"

#include <QAction>
#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>

namespace {

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");
const QString kGuiNotice = QStringLiteral("正在启动图形界面程序...\n");
constexpr int kRunEndMs = 15000;

// Answers the modal message boxes that appear one after the other, in order, and records them.
QSharedPointer<QList<SeenModal>> answerBoxesInOrder(QList<QMessageBox::StandardButton> answers)
{
    auto seen = QSharedPointer<QList<SeenModal>>::create();
    auto *timer = new QTimer;
    auto handled = QSharedPointer<QList<QPointer<QMessageBox>>>::create();
    QObject::connect(timer, &QTimer::timeout, timer, [=]() mutable {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && !handled->contains(box) && seen->size() < answers.size()) {
            handled->append(box);
            const QMessageBox::StandardButton answer = answers.at(seen->size());
            seen->append(seenModal(box));
            if (QAbstractButton *button = box->button(answer))
                button->click();
            else
                box->reject();
        }
        if (seen->size() == answers.size()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return seen;
}

CommandInfo adminRecord(const QString &line)
{
    CommandInfo info;
    info.description = QStringLiteral("需要管理员");
    info.command = line;
    info.needsAdmin = true;
    return info;
}

QString adminQuestion(const QString &line)
{
    return QStringLiteral("此命令需要管理员权限才能执行。\n\n命令: ") + line +
           QStringLiteral("\n\n是否以管理员权限重新运行程序？");
}

} // namespace

class ExecutionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void administratorGateAnsweredNoChangesNothing();
    void administratorGateAnsweredYesQuitsAfterARestart();
    void administratorGateAnsweredYesReportsAFailedRestart();
    void elevatedRunCarriesTheAdministratorLine();
    void titleBarShowsTheElevationState();
    void runAsAdminWhenAlreadyElevated();
    void runAsAdminReportsAFailedRestart();
    void restartHandsMappedDrivesOverInNetworkForm_data();
    void restartHandsMappedDrivesOverInNetworkForm();
    void graphicalCommandStartsDetachedAndClosesAtOnce();
    void failedDetachedStartIsReported();
    void customEntryOfBlanksIsRefused();
    void customLineIsTrimmedAndNamedAfterThirtyCharacters();
    void quickButtonThenReturnRunsTheQuickCommand();
    void customRunNeedingAdministratorRightsAsksFirst();
    void clearButtonEmptiesOnlyTheEntry();
    void savedCommandsAreShownAndNeverRun();
    void runningTheSelectionNeedsASelectedCommand();
    void runningTheSelectionUsesTheCatalogRecord();
    void systemCheckAndWmicLinesFollowWhetherWmicIsInstalled();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    bool elevated = false;
    QStringList restartPrograms;
    QList<Elevation::RestartRequest> restartRequests;
    bool enabledWhileAsked = true;
    bool closedWhileAsked = true;
    bool restartSucceeds = false;

    void makeWindow();
    QString pane() const { return ui->outputEdit()->toPlainText(); }
    QWidget *customTab() const { return ui->mainTabs()->widget(2); }
    QPushButton *customButton(const char *text) const
    {
        return findButton(customTab(), QString::fromUtf8(text));
    }
    QAction *toolsAction(const char *text) const;
    void stopOpenRun();
    void selectCatalogCommand(const QString &command);
};

void ExecutionTest::init()
{
    elevated = false;
    restartSucceeds = false;
    restartPrograms.clear();
    restartRequests.clear();
    Elevation::setElevationQueryForTesting([this] { return std::optional<bool>(elevated); });
    Elevation::setRestartForTesting([this](const Elevation::RestartRequest &request) {
        restartPrograms << request.program;
        restartRequests << request;
        enabledWhileAsked = window->isEnabled();
        // The close button or Alt+F4 while the consent prompt is shown.
        closedWhileAsked = window->close();
        return restartSucceeds;
    });
    makeWindow();
}

void ExecutionTest::cleanup()
{
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
    Elevation::setElevationQueryForTesting({});
    Elevation::setRestartForTesting({});
    Elevation::setDriveConnectionForTesting({});
    Elevation::setDriveSubstitutionForTesting({});
    ShellCommand::setProgramForTesting({});
    Wmic::setInstalledForTesting(std::nullopt);
    Telnet::setInstalledForTesting(std::nullopt);
}

void ExecutionTest::makeWindow()
{
    delete ui;
    delete window;
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

QAction *ExecutionTest::toolsAction(const char *text) const
{
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == QString::fromUtf8(text))
            return action;
    }
    return nullptr;
}

void ExecutionTest::stopOpenRun()
{
    if (ui->process())
        QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
}

// Searches for `command` and clicks the table row that shows exactly that command line.
void ExecutionTest::selectCatalogCommand(const QString &command)
{
    ui->searchEdit()->setText(command);
    QTableWidget *table = ui->commandTable();
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 1)->text() != command)
            continue;
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(row, 1)).center());
        QCOMPARE(ui->currentCommand().command, command);
        return;
    }
    QFAIL(qPrintable(QStringLiteral("no row shows ") + command));
}

void ExecutionTest::administratorGateAnsweredNoChangesNothing()
{
    ui->appendOutput(QStringLiteral("earlier output\n"));
    ui->statusLabel()->setText(QStringLiteral("earlier status"));
    ui->mainTabs()->setCurrentIndex(0);

    const auto seen = answerNextMessageBox(QMessageBox::No);
    ui->executeCommand(adminRecord(QStringLiteral("echo secret")));
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("权限提示"));
    QCOMPARE(seen->text, adminQuestion(QStringLiteral("echo secret")));
    QCOMPARE(seen->icon, QMessageBox::Question);

    QCOMPARE(pane(), QStringLiteral("earlier output\n"));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("earlier status"));
    QCOMPARE(ui->mainTabs()->currentIndex(), 0);
    QVERIFY(!ui->stopBtn()->isEnabled());
    QVERIFY(!ui->process());
    QVERIFY(restartPrograms.isEmpty());
}

void ExecutionTest::administratorGateAnsweredYesQuitsAfterARestart()
{
    restartSucceeds = true;
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    const auto seen = answerNextMessageBox(QMessageBox::Yes);
    // Before the quit closes the window and gives up its native one.
    const auto owner = quintptr(window->winId());
    QTimer::singleShot(0, window,
                       [this] { ui->executeCommand(adminRecord(QStringLiteral("echo secret"))); });
    // Ends the event loop below should the tool fail to quit.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    const int exitCode = QCoreApplication::exec();
    guard.stop();

    QCOMPARE(exitCode, 0);
    QCOMPARE(quitting.count(), 1);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("权限提示"));
    // The shell gets the executable path in the platform's own notation.
    QCOMPARE(restartPrograms,
             QStringList{QDir::toNativeSeparators(QCoreApplication::applicationFilePath())});
    // In the tool's working directory, with the consent prompt belonging to the window (Wine and
    // Linux show no prompt: whether it comes to the front is seen only on Windows).
    QCOMPARE(restartRequests.first().directory, QDir::toNativeSeparators(QDir::currentPath()));
    QCOMPARE(restartRequests.first().ownerWindow, owner);
    QVERIFY(owner != 0);
    QCOMPARE(pane(), QString());
    QVERIFY(!ui->process());
}

void ExecutionTest::administratorGateAnsweredYesReportsAFailedRestart()
{
    const auto seen = answerBoxesInOrder({QMessageBox::Yes, QMessageBox::Ok});
    ui->executeCommand(adminRecord(QStringLiteral("echo secret")));
    QCOMPARE(seen->size(), 2);
    QCOMPARE(seen->at(0).title, QStringLiteral("权限提示"));
    QCOMPARE(seen->at(1).title, QStringLiteral("错误"));
    QCOMPARE(seen->at(1).text,
             QStringLiteral("无法以管理员权限运行:\n") + QCoreApplication::applicationFilePath());
    QCOMPARE(seen->at(1).icon, QMessageBox::Critical);
    QCOMPARE(restartPrograms.size(), 1);
    QCOMPARE(pane(), QString());
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui->process());
}

void ExecutionTest::elevatedRunCarriesTheAdministratorLine()
{
    elevated = true;
    ui->runAsAdminCheck()->setChecked(true);
    ui->customCommandEdit()->setText(QStringLiteral("echo admin"));
    QTest::mouseClick(customButton("执行命令"), Qt::LeftButton);
    QVERIFY(ui->process());
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);

    static const QRegularExpression header(
        QStringLiteral("^\n={80}\n执行命令: 自定义命令: echo admin\n命令内容: echo admin\n"
                       "执行时间: [0-9 :-]{19}\n执行权限: 管理员\n={80}\n\n"));
    QVERIFY2(header.match(pane()).hasMatch(), qPrintable(pane()));
    QVERIFY(pane().contains(QStringLiteral("admin")));
    QVERIFY(pane().endsWith(kFooter));
    QVERIFY(restartPrograms.isEmpty());
}

void ExecutionTest::titleBarShowsTheElevationState()
{
    QCOMPARE(ui->adminStatusLabel()->text(), QStringLiteral("管理员权限: 未获取"));
    QVERIFY(ui->adminBtn()->isEnabled());
    QCOMPARE(ui->systemInfoLabel()->text(), QSysInfo::prettyProductName() + QStringLiteral(" | ") +
                                                QSysInfo::currentCpuArchitecture());

    elevated = true;
    makeWindow();
    QCOMPARE(ui->adminStatusLabel()->text(), QStringLiteral("管理员权限: 已获取"));
    QVERIFY(!ui->adminBtn()->isEnabled());

    // A query that fails counts as not elevated.
    Elevation::setElevationQueryForTesting([] { return std::optional<bool>(); });
    makeWindow();
    QCOMPARE(ui->adminStatusLabel()->text(), QStringLiteral("管理员权限: 未获取"));
    QVERIFY(ui->adminBtn()->isEnabled());
}

void ExecutionTest::runAsAdminWhenAlreadyElevated()
{
    // Elevated since start-up as far as the title bar knows only after the refresh below.
    elevated = true;
    QAction *runAsAdmin = toolsAction("以管理员运行");
    QVERIFY(runAsAdmin);
    const auto seen = answerNextMessageBox(QMessageBox::Ok);
    runAsAdmin->trigger();
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("提示"));
    QCOMPARE(seen->text, QStringLiteral("当前已是管理员权限"));
    QCOMPARE(seen->icon, QMessageBox::Information);
    QCOMPARE(ui->adminStatusLabel()->text(), QStringLiteral("管理员权限: 已获取"));
    QVERIFY(!ui->adminBtn()->isEnabled());
    QVERIFY(restartPrograms.isEmpty());
}

void ExecutionTest::runAsAdminReportsAFailedRestart()
{
    const auto seen = answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(ui->adminBtn(), Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("错误"));
    QCOMPARE(seen->text,
             QStringLiteral("无法以管理员权限运行:\n") + QCoreApplication::applicationFilePath());
    QCOMPARE(restartPrograms.size(), 1);
    // Took no input and did not close while the system asked, and takes input again.
    QVERIFY(!enabledWhileAsked);
    QVERIFY(!closedWhileAsked);
    QVERIFY(window->isEnabled());
    // The tool goes on unchanged.
    QCOMPARE(ui->adminStatusLabel()->text(), QStringLiteral("管理员权限: 未获取"));
    QVERIFY(ui->adminBtn()->isEnabled());
    QVERIFY(window->isVisible());
    QVERIFY(window->close());
}

void ExecutionTest::restartHandsMappedDrivesOverInNetworkForm_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("handedOver");
    const QString unc = QStringLiteral("\\\\server\\share\\tools\\Quillwick.exe");
    QTest::newRow("mapped drive") << QStringLiteral("Z:\\tools\\Quillwick.exe") << unc;
    QTest::newRow("drive letter in lower case")
        << QStringLiteral("z:\\tools\\Quillwick.exe") << unc;
    QTest::newRow("root of the drive")
        << QStringLiteral("Z:") << QStringLiteral("\\\\server\\share\\");
    QTest::newRow("local drive") << QStringLiteral("C:\\Tools\\Quillwick.exe")
                                 << QStringLiteral("C:\\Tools\\Quillwick.exe");
    QTest::newRow("relative to a drive") << QStringLiteral("Z:tools") << QStringLiteral("Z:tools");
    QTest::newRow("already a share") << unc << unc;
    // SUBST S: C:\work; SUBST T: Z:\ (a drive that stands for a mapped one).
    QTest::newRow("SUBST drive") << QStringLiteral("S:\\tools\\Quillwick.exe")
                                 << QStringLiteral("C:\\work\\tools\\Quillwick.exe");
    QTest::newRow("SUBST of a mapped drive") << QStringLiteral("t:\\tools\\Quillwick.exe") << unc;
}

void ExecutionTest::restartHandsMappedDrivesOverInNetworkForm()
{
    // The elevated session has none of the user's drive mappings and SUBST drives. Wine maps no
    // network drives and has no SUBST: the system's answers for a drive are faked; on Windows they
    // come from WNetGetConnection and QueryDosDevice (which tst_execution_win tries).
    QFETCH(QString, path);
    QFETCH(QString, handedOver);
    Elevation::setDriveConnectionForTesting([](const QString &drive) {
        return drive.compare(QLatin1String("Z:"), Qt::CaseInsensitive) == 0
                   ? QStringLiteral("\\\\server\\share\\")
                   : QString();
    });
    Elevation::setDriveSubstitutionForTesting([](const QString &drive) {
        if (drive.compare(QLatin1String("S:"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("C:\\work");
        return drive.compare(QLatin1String("T:"), Qt::CaseInsensitive) == 0 ? QStringLiteral("Z:\\")
                                                                            : QString();
    });
    QVERIFY(!Elevation::restartElevated(path, path, 7));
    QCOMPARE(restartRequests.size(), 1);
    QCOMPARE(restartRequests.first().program, handedOver);
    QCOMPARE(restartRequests.first().directory, handedOver);
    QCOMPARE(restartRequests.first().ownerWindow, quintptr(7));
}

void ExecutionTest::graphicalCommandStartsDetachedAndClosesAtOnce()
{
    ui->customCommandEdit()->setText(QStringLiteral("services.msc"));
    QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
    // Opened and closed within the one call: no child of the pane, no timer.
    QVERIFY(!ui->process());
    QVERIFY(!ui->timeOutArmed());
    QVERIFY(!ui->stopBtn()->isEnabled());
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    static const QRegularExpression run(
        QStringLiteral("^\n={80}\n执行命令: 自定义命令: services.msc\n命令内容: services.msc\n"
                       "执行时间: [0-9 :-]{19}\n={80}\n\n"));
    QVERIFY2(run.match(pane()).hasMatch(), qPrintable(pane()));
    QVERIFY(pane().endsWith(QStringLiteral("=\n\n") + kGuiNotice + kFooter));
}

void ExecutionTest::failedDetachedStartIsReported()
{
    ShellCommand::setProgramForTesting(QStringLiteral("/nonexistent/quillwick-shell"));
    ui->customCommandEdit()->setText(QStringLiteral("appwiz.cpl"));
    QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
    QVERIFY(!ui->process());
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(pane().endsWith(QStringLiteral("=\n\n") + kGuiNotice +
                            QStringLiteral("无法启动图形界面程序\n") + kFooter));

    // Without the Telnet client no start is tried at all.
    for (const bool installed : {false, true}) {
        Telnet::setInstalledForTesting(installed);
        ui->customCommandEdit()->setText(QStringLiteral("telnet"));
        QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
        const QString said =
            installed
                ? kGuiNotice + QStringLiteral("无法启动图形界面程序\n")
                : QStringLiteral("提示: Telnet 客户端是 Windows 的可选功能，当前未安装，未能启动 "
                                 "telnet。可在“控制面板 > 程序 > 启用或关闭 Windows 功能 > "
                                 "Telnet 客户端”中添加。\n");
        QVERIFY2(pane().endsWith(QStringLiteral("=\n\n") + said + kFooter), qPrintable(pane()));
    }
}

void ExecutionTest::customEntryOfBlanksIsRefused()
{
    ui->mainTabs()->setCurrentIndex(2);
    // Blanks, a tab and an ideographic space all count as white space.
    ui->customCommandEdit()->setText(QStringLiteral("  \t\u3000 "));
    const auto seen = answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(customButton("执行命令"), Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("提示"));
    QCOMPARE(seen->text, QStringLiteral("请输入要执行的命令"));
    QCOMPARE(pane(), QString());
    QCOMPARE(ui->mainTabs()->currentIndex(), 2);
    QVERIFY(!ui->process());
}

void ExecutionTest::customLineIsTrimmedAndNamedAfterThirtyCharacters()
{
    const QString forty = QStringLiteral("echo 12345678901234567890123456789012345");
    QCOMPARE(forty.size(), 40);
    ui->customCommandEdit()->setText(QStringLiteral("  ") + forty + QStringLiteral("\u3000 "));
    QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
    const QString name = QStringLiteral("自定义命令: ") + forty.left(30);
    QCOMPARE(ui->statusLabel()->text(),
             QStringLiteral("正在执行: ") + name + QStringLiteral("..."));
    QVERIFY(ui->stopBtn()->isEnabled());
    QVERIFY(pane().startsWith(QStringLiteral("\n") + kRule + QStringLiteral("\n执行命令: ") + name +
                              QStringLiteral("\n命令内容: ") + forty +
                              QStringLiteral("\n执行时间: ")));
    // The entry keeps what was typed.
    QCOMPARE(ui->customCommandEdit()->text(),
             QStringLiteral("  ") + forty + QStringLiteral("\u3000 "));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    QVERIFY(pane().contains(QStringLiteral("12345678901234567890123456789012345")));

    const QString thirty = forty.left(30);
    ui->customCommandEdit()->setText(thirty);
    QTest::mouseClick(customButton("执行命令"), Qt::LeftButton);
    QVERIFY(pane().contains(QStringLiteral("\n执行命令: 自定义命令: ") + thirty +
                            QStringLiteral("\n命令内容: ") + thirty + QStringLiteral("\n")));
    stopOpenRun();
}

void ExecutionTest::quickButtonThenReturnRunsTheQuickCommand()
{
    const QList<QPair<const char *, QString>> quick{
        {"网络配置", QStringLiteral("ipconfig")},
        {"目录列表", QStringLiteral("dir")},
        {"进程列表", QStringLiteral("tasklist")},
        {"网络连接", QStringLiteral("netstat -ano")},
        {"测试本地", QStringLiteral("ping 127.0.0.1")},
    };
    ui->mainTabs()->setCurrentIndex(2);
    for (const auto &[label, line] : quick) {
        QPushButton *button = customButton(label);
        QVERIFY2(button, label);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(ui->customCommandEdit()->text(), line);
    }
    // Filling the entry runs nothing.
    QCOMPARE(pane(), QString());
    QVERIFY(!ui->process());

    QTest::keyClick(ui->customCommandEdit(), Qt::Key_Return);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("正在执行: 自定义命令: ping 127.0.0.1..."));
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    QVERIFY(pane().contains(
        QStringLiteral("\n执行命令: 自定义命令: ping 127.0.0.1\n命令内容: ping 127.0.0.1\n")));
    stopOpenRun();
    QVERIFY(pane().endsWith(kFooter));
}

void ExecutionTest::customRunNeedingAdministratorRightsAsksFirst()
{
    ui->runAsAdminCheck()->setChecked(true);
    ui->customCommandEdit()->setText(QStringLiteral("tasklist /v"));
    const auto seen = answerNextMessageBox(QMessageBox::No);
    QTest::mouseClick(customButton("执行命令"), Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("权限提示"));
    QCOMPARE(seen->text, adminQuestion(QStringLiteral("tasklist /v")));
    QCOMPARE(pane(), QString());
    QVERIFY(!ui->process());
    QVERIFY(restartPrograms.isEmpty());
}

void ExecutionTest::clearButtonEmptiesOnlyTheEntry()
{
    ui->appendOutput(QStringLiteral("kept\n"));
    ui->runAsAdminCheck()->setChecked(true);
    ui->waitFinishCheck()->setChecked(false);
    ui->customCommandEdit()->setText(QStringLiteral("dir"));
    QTest::mouseClick(customButton("清空"), Qt::LeftButton);
    QCOMPARE(ui->customCommandEdit()->text(), QString());
    QVERIFY(ui->runAsAdminCheck()->isChecked());
    QVERIFY(!ui->waitFinishCheck()->isChecked());
    QCOMPARE(pane(), QStringLiteral("kept\n"));
}

void ExecutionTest::savedCommandsAreShownAndNeverRun()
{
    QTableWidget *saved = ui->savedCommandsTable();
    QCOMPARE(saved->rowCount(), 3);
    QCOMPARE(saved->item(0, 0)->text(), QStringLiteral("快速诊断"));
    QCOMPARE(saved->item(1, 0)->text(), QStringLiteral("系统检查"));
    QCOMPARE(saved->item(2, 0)->text(), QStringLiteral("网络测试"));
    static const QRegularExpression diagnosis(
        QStringLiteral("^ping \\S+ && ipconfig /all && netstat -ano$"));
    QVERIFY(diagnosis.match(saved->item(0, 1)->text()).hasMatch());
    QCOMPARE(saved->item(1, 1)->text(), QStringLiteral("systeminfo && wmic qfe list && ver"));
    static const QRegularExpression network(
        QStringLiteral("^nslookup (\\S+) && tracert \\1 && pathping \\1$"));
    QVERIFY(network.match(saved->item(2, 1)->text()).hasMatch());

    ui->mainTabs()->setCurrentIndex(2);
    const QRect cell = saved->visualItemRect(saved->item(1, 1));
    QTest::mouseClick(saved->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(saved->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(saved, Qt::Key_Return);
    QVERIFY(saved->item(1, 0)->isSelected());
    QCOMPARE(pane(), QString());
    QVERIFY(!ui->process());
    QCOMPARE(ui->mainTabs()->currentIndex(), 2);
    QCOMPARE(ui->customCommandEdit()->text(), QString());
}

void ExecutionTest::runningTheSelectionNeedsASelectedCommand()
{
    ui->searchEdit()->setText(QStringLiteral("no command is called like this"));
    QCOMPARE(ui->commandTable()->rowCount(), 0);
    ui->mainTabs()->setCurrentIndex(0);
    const auto seen = answerNextMessageBox(QMessageBox::Ok);
    QTest::mouseClick(findButton(ui->mainTabs()->widget(0), QStringLiteral("执行命令")),
                      Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("提示"));
    QCOMPARE(seen->text, QStringLiteral("请先选择一个命令"));
    QCOMPARE(pane(), QString());
    QVERIFY(!ui->process());
}

void ExecutionTest::runningTheSelectionUsesTheCatalogRecord()
{
    QPushButton *execute = findButton(ui->mainTabs()->widget(0), QStringLiteral("执行命令"));
    selectCatalogCommand(QStringLiteral("hostname"));
    QTest::mouseClick(execute, Qt::LeftButton);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("正在执行: 显示计算机名..."));
    QVERIFY(pane().startsWith(QStringLiteral("\n") + kRule +
                              QStringLiteral("\n执行命令: 显示计算机名\n命令内容: hostname\n")));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
    const QString afterRun = pane();

    // The catalog's flag decides about administrator rights.
    selectCatalogCommand(QStringLiteral("sfc /scannow"));
    const auto seen = answerNextMessageBox(QMessageBox::No);
    QTest::mouseClick(execute, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->text, adminQuestion(QStringLiteral("sfc /scannow")));
    QCOMPARE(pane(), afterRun);
}

void ExecutionTest::systemCheckAndWmicLinesFollowWhetherWmicIsInstalled()
{
    // Without WMIC the check lists the installed updates another way, and its header shows the
    // line it runs; a catalog line that runs wmic, kept as stored, is followed by a note.
    const QString note = QStringLiteral("\n提示: WMIC 是此版本 Windows 的可选功能，当前未安装，"
                                        "可在“设置 > 系统 > 可选功能”中添加。\n");
    QPushButton *execute = findButton(ui->mainTabs()->widget(0), QStringLiteral("执行命令"));
    for (const bool installed : {false, true}) {
        Wmic::setInstalledForTesting(installed);
        ui->outputEdit()->clear();
        toolsAction("检查系统")->trigger();
        const QString updates =
            installed ? QStringLiteral("wmic qfe list")
                      : QStringLiteral("powershell -NoProfile -Command \"Get-CimInstance "
                                       "Win32_QuickFixEngineering | Format-Table "
                                       "HotFixID,Description,InstalledBy,InstalledOn -AutoSize\"");
        QVERIFY2(pane().contains(QStringLiteral("\n命令内容: systeminfo && ") + updates +
                                 QStringLiteral(" && ver && hostname && ipconfig /all\n")),
                 qPrintable(pane()));
        stopOpenRun();

        ui->outputEdit()->clear();
        selectCatalogCommand(QStringLiteral("wmic os get caption"));
        QTest::mouseClick(execute, Qt::LeftButton);
        QVERIFY(pane().contains(QStringLiteral("\n命令内容: wmic os get caption\n")));
        QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), kRunEndMs);
        const qsizetype at = pane().indexOf(note);
        QCOMPARE(at >= 0, !installed);
        if (installed)
            continue;
        // Right after the output: then come the exit code, if any, and the footer.
        const QString rest = pane().mid(at + note.size());
        QVERIFY2(rest == kFooter || (rest.startsWith(QStringLiteral("\n命令执行完成，返回码: ")) &&
                                     rest.endsWith(kFooter)),
                 qPrintable(rest));
    }
}

QUILLWICK_TEST_MAIN(ExecutionTest)
#include "tst_execution.moc"

#include "ui/mainwindow.h"

#include "exec/commandkind.h"
#include "exec/customcommand.h"
#include "exec/elevation.h"
#include "exec/runtext.h"
#include "exec/shellcommand.h"
#include "exec/telnet.h"
#include "ui/outputstream.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSysInfo>
#include <QTabWidget>
#include <QTableWidget>

// The execution entry with its administrator gate, privilege detection and elevation, and the
// custom-command tab.

namespace {

constexpr int kOutputTab = 1;

} // namespace

void MainWindow::executeCommand(const CommandInfo &info)
{
    if (info.needsAdmin && !isRunningAsAdmin()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, QStringLiteral("权限提示"),
            QStringLiteral(
                "此命令需要管理员权限才能执行。\n\n命令: %1\n\n是否以管理员权限重新运行程序？")
                .arg(info.command),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            restartAsAdmin();
        return;
    }

    // An open run is closed, with its remaining output and footer, before this run's header. One
    // whose output is still being shown closes first, and this run starts after it.
    if (!interruptOpenRun()) {
        run->nextRun = info;
        return;
    }
    // Accessibility clients hear of the run's output from its header on at a bounded rate.
    outputStream->beginRun();
    appendOutput(RunText::header(info, QDateTime::currentDateTime()));
    statusLabel->setText(QStringLiteral("正在执行: %1...").arg(info.description));
    stopBtn->setEnabled(true);
    mainTabs->setCurrentIndex(kOutputTab);

    if (!isGuiCommand(info.command)) {
        startConsoleProcess(info);
        return;
    }
    if (const QString missing = Telnet::missingNote(info.command); !missing.isEmpty()) {
        appendOutput(missing);
        finishExecution();
        return;
    }
    appendOutput(QStringLiteral("正在启动图形界面程序...\n"));
    const auto console = needsOwnConsole(info.command) ? ShellCommand::DetachedConsole::OwnWindow
                                                       : ShellCommand::DetachedConsole::Hidden;
    if (!ShellCommand::startDetached(info.command, console))
        appendOutput(QStringLiteral("无法启动图形界面程序\n"));
    finishExecution();
}

bool MainWindow::isRunningAsAdmin() const
{
    return Elevation::isElevated();
}

void MainWindow::restartAsAdmin()
{
    const QString executable = QCoreApplication::applicationFilePath();
    // Input waits while the system asks the user and the new instance comes up: a second click
    // would ask a second time. The window does not close meanwhile either (closeEvent).
    const QPointer<MainWindow> self(this);
    setEnabled(false);
    const bool started =
        Elevation::restartElevated(executable, QDir::currentPath(), quintptr(winId()));
    // Closed meanwhile: nothing left to report to.
    if (!self)
        return;
    setEnabled(true);
    if (started) {
        QCoreApplication::quit();
        return;
    }
    QMessageBox::critical(this, QStringLiteral("错误"),
                          QStringLiteral("无法以管理员权限运行:\n%1").arg(executable));
}

void MainWindow::runAsAdmin()
{
    if (!isRunningAsAdmin()) {
        restartAsAdmin();
        return;
    }
    QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("当前已是管理员权限"));
    updateAdminStatus();
}

void MainWindow::updateAdminStatus()
{
    const bool elevated = isRunningAsAdmin();
    adminStatusLabel->setText(elevated ? QStringLiteral("管理员权限: 已获取")
                                       : QStringLiteral("管理员权限: 未获取"));
    adminBtn->setEnabled(!elevated);
    systemInfoLabel->setText(QStringLiteral("%1 | %2").arg(QSysInfo::prettyProductName(),
                                                           QSysInfo::currentCpuArchitecture()));
}

void MainWindow::executeCustomCommand()
{
    const QString line = customCommandEdit->text().trimmed();
    if (line.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("提示"),
                                 QStringLiteral("请输入要执行的命令"));
        return;
    }
    executeCommand(customCommandRecord(line, runAsAdminCheck->isChecked()));
}

void MainWindow::executeSelectedCommand()
{
    const CommandInfo info = currentCommand();
    if (info.command.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("请先选择一个命令"));
        return;
    }
    executeCommand(info);
}

void MainWindow::loadSavedCommands()
{
    savedCommandsTable->clearContents();
    savedCommandsTable->setRowCount(0);
    for (const SavedCommand &saved : savedCommandPresets()) {
        const int row = savedCommandsTable->rowCount();
        savedCommandsTable->insertRow(row);
        savedCommandsTable->setItem(row, 0, new QTableWidgetItem(saved.name));
        savedCommandsTable->setItem(row, 1, new QTableWidgetItem(saved.commandLine));
    }
}

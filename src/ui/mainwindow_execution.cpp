#include "ui/mainwindow.h"

#include "exec/customcommand.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

// Runner, execution and privilege handling: being written.
void MainWindow::startConsoleProcess(const CommandInfo &) {}
void MainWindow::onProcessOutput(QProcess *) {}
void MainWindow::onProcessFinished(QProcess *, int) {}
void MainWindow::onProcessStartFailed(QProcess *) {}
void MainWindow::onRunTimedOut() {}
void MainWindow::finishExecution() {}
void MainWindow::appendOutput(const QString &) {}
QString MainWindow::decodeConsoleOutput(const QByteArray &bytes)
{
    return consoleDecoder.decode(bytes);
}
void MainWindow::executeCommand(const CommandInfo &) {}
void MainWindow::stopCommand() {}
bool MainWindow::isRunningAsAdmin() const
{
    return false;
}
void MainWindow::restartAsAdmin() {}
void MainWindow::runAsAdmin() {}
void MainWindow::updateAdminStatus() {}

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

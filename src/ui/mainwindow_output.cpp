#include "ui/mainwindow.h"

#include "ui/outputfile.h"
#include "ui/outputstream.h"

#include <QClipboard>
#include <QCursor>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>

void MainWindow::copyCommand()
{
    const CommandInfo info = currentCommand();
    if (info.command.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(info.command);
    statusLabel->setText(QStringLiteral("命令已复制到剪贴板"));
}

void MainWindow::copyOutput()
{
    // Output gathered but not yet shown is part of what was received.
    const QString text = receivedOutputText();
    if (text.trimmed().isEmpty()) {
        statusLabel->setText(QStringLiteral("没有输出可复制"));
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    statusLabel->setText(QStringLiteral("输出已复制到剪贴板"));
}

void MainWindow::saveOutput()
{
    // Output that arrives while the dialog is open is not part of this save; output gathered but
    // not yet shown is.
    const QString snapshot = receivedOutputText();
    if (snapshot.trimmed().isEmpty()) {
        QMessageBox::information(this, QStringLiteral("提示"),
                                 QStringLiteral("没有输出内容可以保存"));
        return;
    }

    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("保存输出"), proposedOutputFileName(QDateTime::currentDateTime()),
        QStringLiteral("文本文件 (*.txt);;所有文件 (*.*)"));
    if (path.isEmpty())
        return;

    const QString error = writeTextFile(path, snapshot);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("错误"),
                              QStringLiteral("保存失败: %1").arg(error));
        return;
    }
    QMessageBox::information(this, QStringLiteral("成功"),
                             QStringLiteral("输出已保存到: %1").arg(path));
}

void MainWindow::clearOutput()
{
    // Nothing received before the clear appears after it, not even a line still undecided.
    if (run)
        run->discardUndecided();
    outputStream->clear();
}

void MainWindow::showOutputContextMenu(const QPoint &position)
{
    Q_UNUSED(position);
    QMenu menu(this);
    QAction *copyAction = menu.addAction(QStringLiteral("复制"));
    QAction *clearAction = menu.addAction(QStringLiteral("清空"));
    QAction *saveAction = menu.addAction(QStringLiteral("保存"));

    const QAction *chosen = menu.exec(QCursor::pos());
    if (chosen == copyAction) {
        const QTextCursor cursor = outputEdit->textCursor();
        if (!cursor.hasSelection()) {
            copyOutput();
            return;
        }
        QGuiApplication::clipboard()->setText(selectionAsPlainText(
            outputStream->textBetween(cursor.selectionStart(), cursor.selectionEnd())));
        statusLabel->setText(QStringLiteral("选中内容已复制到剪贴板"));
    } else if (chosen == clearAction) {
        clearOutput();
    } else if (chosen == saveAction) {
        saveOutput();
    }
}

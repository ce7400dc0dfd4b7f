#include "ui/mainwindow.h"

#include <QPlainTextEdit>

// Output actions: being written.
void MainWindow::copyCommand() {}
void MainWindow::copyOutput() {}
void MainWindow::saveOutput() {}
void MainWindow::showOutputContextMenu(const QPoint &) {}

void MainWindow::clearOutput()
{
    outputEdit->clear();
}

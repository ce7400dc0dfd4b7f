#include "ui/mainwindow.h"

// Text window, information runs, command help, usage help and About: being written.
void MainWindow::showTextDialog(const QString &, const QString &) {}
void MainWindow::runCommandToDialog(const QString &, const QString &) {}
void MainWindow::showSystemInfo() {}
void MainWindow::showDiskInfo() {}
void MainWindow::showNetworkInfo() {}
void MainWindow::checkSystem() {}
void MainWindow::showCommandHelp() {}
void MainWindow::showHelp() {}
void MainWindow::showAbout() {}

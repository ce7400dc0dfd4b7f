#include "ui/mainwindow.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

void MainWindow::createMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("文件"));
    connect(fileMenu->addAction(QStringLiteral("保存输出")), &QAction::triggered, this,
            &MainWindow::saveOutput);
    fileMenu->addSeparator();
    connect(fileMenu->addAction(QStringLiteral("退出")), &QAction::triggered, this,
            &QWidget::close);

    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("编辑"));
    connect(editMenu->addAction(QStringLiteral("复制命令")), &QAction::triggered, this,
            &MainWindow::copyCommand);
    connect(editMenu->addAction(QStringLiteral("复制输出")), &QAction::triggered, this,
            &MainWindow::copyOutput);
    editMenu->addSeparator();
    connect(editMenu->addAction(QStringLiteral("清空输出")), &QAction::triggered, this,
            &MainWindow::clearOutput);

    QMenu *viewMenu = menuBar()->addMenu(QStringLiteral("视图"));
    connect(viewMenu->addAction(QStringLiteral("刷新命令列表")), &QAction::triggered, this,
            [this] { refreshCommandList(); });

    QMenu *toolsMenu = menuBar()->addMenu(QStringLiteral("工具"));
    connect(toolsMenu->addAction(QStringLiteral("以管理员运行")), &QAction::triggered, this,
            &MainWindow::runAsAdmin);
    connect(toolsMenu->addAction(QStringLiteral("检查系统")), &QAction::triggered, this,
            &MainWindow::checkSystem);
    toolsMenu->addSeparator();
    connect(toolsMenu->addAction(QStringLiteral("系统信息")), &QAction::triggered, this,
            &MainWindow::showSystemInfo);
    connect(toolsMenu->addAction(QStringLiteral("磁盘信息")), &QAction::triggered, this,
            &MainWindow::showDiskInfo);
    connect(toolsMenu->addAction(QStringLiteral("网络信息")), &QAction::triggered, this,
            &MainWindow::showNetworkInfo);

    QMenu *helpMenu = menuBar()->addMenu(QStringLiteral("帮助"));
    connect(helpMenu->addAction(QStringLiteral("使用帮助")), &QAction::triggered, this,
            &MainWindow::showHelp);
    connect(helpMenu->addAction(QStringLiteral("关于")), &QAction::triggered, this,
            &MainWindow::showAbout);
}

void MainWindow::createShortcuts()
{
    auto addShortcut = [this](const QKeySequence &keys) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        return shortcut;
    };

    connect(addShortcut(QKeySequence(Qt::Key_F5)), &QShortcut::activated, this,
            [this] { refreshCommandList(); });
    connect(addShortcut(QKeySequence(QStringLiteral("Ctrl+S"))), &QShortcut::activated, this,
            &MainWindow::saveOutput);
    connect(addShortcut(QKeySequence(QStringLiteral("Ctrl+C"))), &QShortcut::activated, this,
            &MainWindow::copyOutput);
    connect(addShortcut(QKeySequence(QStringLiteral("Ctrl+F"))), &QShortcut::activated, this,
            [this] { searchEdit->setFocus(); });
    connect(addShortcut(QKeySequence(QStringLiteral("Ctrl+Q"))), &QShortcut::activated, this,
            &QWidget::close);
    connect(addShortcut(QKeySequence(Qt::Key_Escape)), &QShortcut::activated, this,
            &MainWindow::stopCommand);
}

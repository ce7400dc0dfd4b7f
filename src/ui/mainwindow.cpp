#include "ui/mainwindow.h"

#include "app/identity.h"
#include "exec/customcommand.h"
#include "ui/commandtable.h"
#include "ui/consolefont.h"
#include "ui/outputstream.h"
#include "ui/windowplacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const char kWindowStyleSheet[] = R"(
        * { font-family: "Microsoft YaHei"; font-size: 10pt; }
        QGroupBox { font-weight: bold; border: 1px solid #cccccc; border-radius: 4px;
                    margin-top: 8px; padding-top: 6px; }
        QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 3px; }
        QWidget#titleBar { background: #4a86e8; }
        QLabel#titleLabel { color: white; font-size: 20px; font-weight: bold; background: transparent; }
        QLabel#titleVersionLabel { color: white; font-size: 11pt; background: transparent; }
        QLabel#adminStatusLabel { color: white; background: transparent; }
        QPushButton#adminBtn { background: #ff9800; color: white; border: none;
                               border-radius: 4px; padding: 6px 14px; font-weight: bold; }
        QPushButton#adminBtn:hover { background: #f57c00; }
        QPushButton#adminBtn:disabled { background: #cccccc; }
        QPushButton#execBtn { background: #4CAF50; color: white; border: none;
                              border-radius: 4px; padding: 6px 16px; font-weight: bold; }
        QPushButton#execBtn:hover { background: #45a049; }
        QPushButton#execBtn:disabled { background: #cccccc; }
        QPushButton#dangerBtn { background: #f44336; color: white; border: none;
                                border-radius: 4px; padding: 6px 16px; font-weight: bold; }
        QPushButton#dangerBtn:hover { background: #d32f2f; }
        QPushButton#dangerBtn:disabled { background: #cccccc; }
        QTableWidget { gridline-color: #e0e0e0; }
        QTableWidget::item:selected { background: #4a86e8; color: white; }
        QTreeWidget::item:selected { background: #4a86e8; color: white; }
        QStatusBar { background: #333333; color: white; }
        QStatusBar QLabel { color: white; }
        QTabWidget::pane { border: 1px solid #cccccc; }
    )";

const char kCaptionStyle[] = "font-weight:bold;font-size:13px;";

QLabel *captionLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(QString::fromLatin1(kCaptionStyle));
    return label;
}

QGroupBox *groupBoxWith(const QString &title, QWidget *content)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("%1 v%2").arg(appDisplayName(), appVersion()));
    resize(1200, 1000);
    setMinimumSize(1000, 700);

    setupUi();
    createMenus();
    createShortcuts();
    setStyleSheet(QString::fromUtf8(kWindowStyleSheet));

    for (const QString &name : catalog.categoryNames())
        categoryTree->addTopLevelItem(new QTreeWidgetItem(QStringList{name}));
    if (categoryTree->topLevelItemCount() > 0)
        categoryTree->setCurrentItem(categoryTree->topLevelItem(0));

    updateAdminStatus();
    loadSavedCommands();
}

void MainWindow::showEvent(QShowEvent *event)
{
    // The first time only: afterwards the window stays where the user put it.
    if (!event->spontaneous() && !placedOnScreen) {
        placedOnScreen = true;
        placeOnScreen();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The window takes no input only while the system's consent prompt for the elevated restart
    // is pending (restartAsAdmin). Closed then, it would be gone while the tool waits, hidden,
    // for the answer, and the tool would quit or stay on without a window.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::placeOnScreen()
{
    // The size and minimum size that the constructor set, bounded by the available area of the
    // window's screen with room for its frame, so that every control can be reached on a small
    // or scaled screen; the frame centred in that area. The frame is known once the native
    // window exists, which it does by the first show.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const WindowPlacement placement =
        placeWindow(screen()->availableGeometry(), frame, size(), minimumSize());
    setMinimumSize(placement.minimumSize);
    setGeometry(placement.geometry);
}

void MainWindow::setupUi()
{
    auto *central = new QWidget;
    auto *rootLayout = new QVBoxLayout(central);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);

    // Title bar
    auto *titleBar = new QWidget;
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setFixedHeight(64);
    auto *titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(20, 0, 20, 0);
    auto *titleLabel = new QLabel(appDisplayName());
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLayout->addWidget(titleLabel);
    auto *titleVersionLabel = new QLabel(QStringLiteral("v%1").arg(appVersion()));
    titleVersionLabel->setObjectName(QStringLiteral("titleVersionLabel"));
    titleLayout->addWidget(titleVersionLabel);
    titleLayout->addStretch();
    adminStatusLabel = new QLabel(QStringLiteral("管理员权限: 未获取"));
    adminStatusLabel->setObjectName(QStringLiteral("adminStatusLabel"));
    titleLayout->addWidget(adminStatusLabel);
    adminBtn = new QPushButton(QStringLiteral("获取管理员权限"));
    adminBtn->setObjectName(QStringLiteral("adminBtn"));
    connect(adminBtn, &QPushButton::clicked, this, &MainWindow::runAsAdmin);
    titleLayout->addWidget(adminBtn);
    rootLayout->addWidget(titleBar);

    auto *splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setChildrenCollapsible(false);

    // Left panel: search, categories, command table and pager
    auto *leftPanel = new QWidget;
    leftPanel->setMaximumWidth(420);
    auto *leftLayout = new QVBoxLayout(leftPanel);
    leftLayout->setContentsMargins(10, 10, 5, 10);
    leftLayout->setSpacing(8);
    // At least 340 pixels wide, and never narrower than the pager needs: a fixed minimum would let
    // the splitter squeeze the pager's texts.
    leftLayout->addStrut(340 - 10 - 5);

    searchEdit = new QLineEdit;
    searchEdit->setClearButtonEnabled(true);
    connect(searchEdit, &QLineEdit::textChanged, this, &MainWindow::onSearch);
    connect(searchEdit, &QLineEdit::returnPressed, this, &MainWindow::onSearch);
    leftLayout->addWidget(groupBoxWith(QStringLiteral(" 搜索命令 "), searchEdit));

    categoryTree = new QTreeWidget;
    categoryTree->setHeaderHidden(true);
    categoryTree->setMaximumHeight(210);
    connect(categoryTree, &QTreeWidget::currentItemChanged, this, [this] { onCategoryChanged(); });
    leftLayout->addWidget(groupBoxWith(QStringLiteral(" 命令分类 "), categoryTree));

    commandTable = new CommandTable(0, 3);
    commandTable->setHorizontalHeaderLabels(
        {QStringLiteral("命令名称"), QStringLiteral("命令内容"), QStringLiteral("权限")});
    commandTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    commandTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    commandTable->setSelectionMode(QAbstractItemView::SingleSelection);
    commandTable->setShowGrid(false);
    commandTable->verticalHeader()->setVisible(false);
    commandTable->horizontalHeader()->setStretchLastSection(false);
    commandTable->setColumnWidth(0, 150);
    commandTable->setColumnWidth(1, 420);
    commandTable->setColumnWidth(2, 70);
    commandTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    commandTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(commandTable, &QTableWidget::itemSelectionChanged, this,
            &MainWindow::onCommandSelected);
    connect(commandTable, &QTableWidget::cellDoubleClicked, this,
            &MainWindow::onCommandDoubleClicked);
    connect(commandTable, &QTableWidget::customContextMenuRequested, this,
            [this](const QPoint &position) { showCommandContextMenu(position); });
    leftLayout->addWidget(groupBoxWith(QStringLiteral(" 命令列表 "), commandTable), 1);

    // Pager: the page label on a line of its own, the page buttons under it and the page size
    // under them, so that every text shows whole within the panel's width (at most 420 pixels).
    auto *pagerLayout = new QVBoxLayout;
    pageInfoLabel = new QLabel(QStringLiteral("第 0/0 页"));
    pagerLayout->addWidget(pageInfoLabel);
    auto *pageButtonsLayout = new QHBoxLayout;
    auto *firstButton = new QPushButton(QStringLiteral("首页"));
    connect(firstButton, &QPushButton::clicked, this, [this] { firstPage(); });
    pageButtonsLayout->addWidget(firstButton);
    auto *previousButton = new QPushButton(QStringLiteral("上一页"));
    connect(previousButton, &QPushButton::clicked, this, [this] { previousPage(); });
    pageButtonsLayout->addWidget(previousButton);
    auto *nextButton = new QPushButton(QStringLiteral("下一页"));
    connect(nextButton, &QPushButton::clicked, this, [this] { nextPage(); });
    pageButtonsLayout->addWidget(nextButton);
    auto *lastButton = new QPushButton(QStringLiteral("尾页"));
    connect(lastButton, &QPushButton::clicked, this, &MainWindow::goToLastPage);
    pageButtonsLayout->addWidget(lastButton);
    pageButtonsLayout->addStretch();
    pagerLayout->addLayout(pageButtonsLayout);
    auto *pageSizeLayout = new QHBoxLayout;
    pageSizeLayout->addWidget(new QLabel(QStringLiteral("每页显示:")));
    pageSizeCombo = new QComboBox;
    pageSizeCombo->addItems(
        {QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30"), QStringLiteral("50")});
    pageSizeCombo->setCurrentText(QStringLiteral("20"));
    pageSizeCombo->setEditable(false);
    // Connected only after the current text is set, so building the window never changes the page
    // size.
    connect(pageSizeCombo, &QComboBox::currentIndexChanged, this, &MainWindow::changePageSize);
    pageSizeLayout->addWidget(pageSizeCombo);
    pageSizeLayout->addStretch();
    pagerLayout->addLayout(pageSizeLayout);
    leftLayout->addLayout(pagerLayout);

    splitter->addWidget(leftPanel);

    // Right-hand tabs
    mainTabs = new QTabWidget;

    auto *detailsPage = new QWidget;
    auto *detailsLayout = new QVBoxLayout(detailsPage);
    detailsLayout->setContentsMargins(15, 15, 15, 15);
    detailsLayout->addWidget(captionLabel(QStringLiteral("命令名称:")));
    detailNameLabel = new QLabel;
    detailNameLabel->setWordWrap(true);
    detailsLayout->addWidget(detailNameLabel);
    detailsLayout->addSpacing(10);
    detailsLayout->addWidget(captionLabel(QStringLiteral("命令内容:")));
    detailCommandEdit = new QPlainTextEdit;
    detailCommandEdit->setReadOnly(true);
    detailCommandEdit->setMaximumHeight(90);
    useConsoleFont(detailCommandEdit);
    detailsLayout->addWidget(detailCommandEdit);
    detailsLayout->addSpacing(10);
    detailsLayout->addWidget(captionLabel(QStringLiteral("命令描述:")));
    detailDescriptionEdit = new QPlainTextEdit;
    detailDescriptionEdit->setReadOnly(true);
    useConsoleFont(detailDescriptionEdit);
    detailsLayout->addWidget(detailDescriptionEdit, 1);
    auto *detailButtons = new QHBoxLayout;
    auto *executeSelectedButton = new QPushButton(QStringLiteral("执行命令"));
    executeSelectedButton->setObjectName(QStringLiteral("execBtn"));
    connect(executeSelectedButton, &QPushButton::clicked, this,
            &MainWindow::executeSelectedCommand);
    detailButtons->addWidget(executeSelectedButton);
    auto *copyCommandButton = new QPushButton(QStringLiteral("复制命令"));
    connect(copyCommandButton, &QPushButton::clicked, this, &MainWindow::copyCommand);
    detailButtons->addWidget(copyCommandButton);
    auto *helpButton = new QPushButton(QStringLiteral("查看帮助"));
    connect(helpButton, &QPushButton::clicked, this, &MainWindow::showCommandHelp);
    detailButtons->addWidget(helpButton);
    detailButtons->addStretch();
    detailsLayout->addLayout(detailButtons);
    mainTabs->addTab(detailsPage, QStringLiteral("命令详情"));

    auto *outputPage = new QWidget;
    auto *outputLayout = new QVBoxLayout(outputPage);
    outputLayout->setContentsMargins(10, 10, 10, 10);
    auto *outputButtons = new QHBoxLayout;
    auto *clearOutputButton = new QPushButton(QStringLiteral("清空输出"));
    connect(clearOutputButton, &QPushButton::clicked, this, &MainWindow::clearOutput);
    outputButtons->addWidget(clearOutputButton);
    auto *saveOutputButton = new QPushButton(QStringLiteral("保存到文件"));
    connect(saveOutputButton, &QPushButton::clicked, this, &MainWindow::saveOutput);
    outputButtons->addWidget(saveOutputButton);
    auto *copyOutputButton = new QPushButton(QStringLiteral("复制输出"));
    connect(copyOutputButton, &QPushButton::clicked, this, &MainWindow::copyOutput);
    outputButtons->addWidget(copyOutputButton);
    stopBtn = new QPushButton(QStringLiteral("停止执行"));
    stopBtn->setObjectName(QStringLiteral("dangerBtn"));
    stopBtn->setEnabled(false);
    connect(stopBtn, &QPushButton::clicked, this, &MainWindow::stopCommand);
    outputButtons->addWidget(stopBtn);
    outputButtons->addStretch();
    outputLayout->addLayout(outputButtons);
    outputEdit = new QPlainTextEdit;
    useConsoleFont(outputEdit);
    outputEdit->setReadOnly(false);
    // No undo history: it would keep a copy of every line of output, and a command's output can
    // run into hundreds of megabytes.
    outputEdit->setUndoRedoEnabled(false);
    // Like a console window, wrap at the edge whatever the text: the default word wrapping falls
    // back to a search that is quadratic in the length of a line without spaces.
    outputEdit->setWordWrapMode(QTextOption::WrapAnywhere);
    outputEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(outputEdit, &QPlainTextEdit::customContextMenuRequested, this,
            [this](const QPoint &position) { showOutputContextMenu(position); });
    outputLayout->addWidget(outputEdit, 1);
    outputStream = new OutputStream(outputEdit);
    // While the pane catches up, the open run's child waits; a run that ended while its output
    // was waiting closes once that is shown.
    outputStream->holdChild = [this](bool hold) {
        if (run)
            hold ? run->hold() : run->release();
    };
    outputStream->drained = [this] {
        if (run && run->hasEnded())
            closeEndedRun();
    };
    outputStream->lineEntered = [this](const QString &line) {
        if (run)
            run->sendLine(line);
    };
    outputStream->inputEnded = [this](const QString &typed) {
        if (run)
            run->endInput(typed);
    };
    mainTabs->addTab(outputPage, QStringLiteral("输出结果"));

    auto *customPage = new QWidget;
    auto *customLayout = new QVBoxLayout(customPage);
    customLayout->setContentsMargins(10, 10, 10, 10);
    auto *inputBox = new QGroupBox(QStringLiteral(" 输入自定义命令 "));
    auto *inputLayout = new QVBoxLayout(inputBox);
    customCommandEdit = new QLineEdit;
    connect(customCommandEdit, &QLineEdit::returnPressed, this, &MainWindow::executeCustomCommand);
    inputLayout->addWidget(customCommandEdit);
    auto *quickLayout = new QHBoxLayout;
    quickLayout->addWidget(new QLabel(QStringLiteral("常用命令:")));
    for (const QuickCommand &quick : quickCommands()) {
        auto *quickButton = new QPushButton(quick.label);
        const QString commandLine = quick.commandLine;
        connect(quickButton, &QPushButton::clicked, this,
                [this, commandLine] { customCommandEdit->setText(commandLine); });
        quickLayout->addWidget(quickButton);
    }
    quickLayout->addStretch();
    inputLayout->addLayout(quickLayout);
    auto *runLayout = new QHBoxLayout;
    auto *executeCustomButton = new QPushButton(QStringLiteral("执行命令"));
    executeCustomButton->setObjectName(QStringLiteral("execBtn"));
    connect(executeCustomButton, &QPushButton::clicked, this, &MainWindow::executeCustomCommand);
    runLayout->addWidget(executeCustomButton);
    auto *clearCustomButton = new QPushButton(QStringLiteral("清空"));
    connect(clearCustomButton, &QPushButton::clicked, this, [this] { customCommandEdit->clear(); });
    runLayout->addWidget(clearCustomButton);
    runLayout->addStretch();
    inputLayout->addLayout(runLayout);
    customLayout->addWidget(inputBox);

    auto *optionsBox = new QGroupBox(QStringLiteral(" 执行选项 "));
    auto *optionsLayout = new QVBoxLayout(optionsBox);
    runAsAdminCheck = new QCheckBox(QStringLiteral("以管理员权限运行"));
    runAsAdminCheck->setChecked(false);
    optionsLayout->addWidget(runAsAdminCheck);
    waitFinishCheck = new QCheckBox(QStringLiteral("等待命令完成"));
    waitFinishCheck->setChecked(true);
    optionsLayout->addWidget(waitFinishCheck);
    customLayout->addWidget(optionsBox);

    savedCommandsTable = new QTableWidget(0, 2);
    savedCommandsTable->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("命令")});
    savedCommandsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    savedCommandsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    savedCommandsTable->setShowGrid(false);
    savedCommandsTable->verticalHeader()->setVisible(false);
    savedCommandsTable->setColumnWidth(0, 150);
    savedCommandsTable->setColumnWidth(1, 400);
    customLayout->addWidget(groupBoxWith(QStringLiteral(" 保存的自定义命令 "), savedCommandsTable),
                            1);
    mainTabs->addTab(customPage, QStringLiteral("自定义命令"));

    splitter->addWidget(mainTabs);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    // The left panel opens at its widest, which shows the most of the command lines.
    splitter->setSizes({leftPanel->maximumWidth(), 1200 - leftPanel->maximumWidth()});
    rootLayout->addWidget(splitter, 1);
    setCentralWidget(central);

    statusLabel = new QLabel(QStringLiteral("就绪"));
    statusBar()->addWidget(statusLabel, 1);
    systemInfoLabel = new QLabel;
    statusBar()->addPermanentWidget(systemInfoLabel, 0);
}

MainWindow::~MainWindow()
{
    if (run)
        run->abandon(2000);
    searchResults.clear();
    currentCommands.clear();
}

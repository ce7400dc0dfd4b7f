#include "exec/elevation.h"
#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "testmain.h"
#include "widgetwatch.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QShortcut>

namespace {

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");

QStringList entriesOf(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *action : menu->actions())
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return entries;
}

QPoint cellCenter(QTableWidget *table, int row, int column)
{
    return table->visualItemRect(table->item(row, column)).center();
}

// The first row of the table that needs no administrator rights, after row 0.
int ordinaryRow(QTableWidget *table)
{
    for (int row = 1; row < table->rowCount(); ++row) {
        if (table->item(row, 2)->text() == QStringLiteral("否"))
            return row;
    }
    return -1;
}

} // namespace

class MenusTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void slotTableIsTheTwentyThreeSlotsInOrder();
    void menusHoldTheirEntriesWithoutShortcutText();
    void menuEntriesReachTheirHandlers();
    void exitAndCtrlQCloseTheWindow();
    void shortcutsAreWindowWideAndReachTheirHandlers();
    void tableDoubleClickRunsTheRowsCommand();
    void tableMenuActsOnTheCurrentRowOnly();

private:
    QAction *entry(const QString &menuTitle, const QString &text);
    void waitForRunEnd();

    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QClipboard *clipboard() const { return QGuiApplication::clipboard(); }
};

void MenusTest::initTestCase()
{
    // Elevated, so that neither a command marked for administrators nor "以管理员运行" asks to
    // restart the tool.
    Elevation::setElevationQueryForTesting([] { return std::optional<bool>(true); });
    Elevation::setRestartForTesting([](const Elevation::RestartRequest &) { return false; });
}

void MenusTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    ui->setRunTimeoutMs(8000);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    clipboard()->setText(QStringLiteral("clipboard before"));
}

void MenusTest::cleanup()
{
    delete ui;
    delete window;
}

QAction *MenusTest::entry(const QString &menuTitle, const QString &text)
{
    for (QAction *menuAction : window->menuBar()->actions()) {
        if (menuAction->text() != menuTitle || !menuAction->menu())
            continue;
        for (QAction *action : menuAction->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
    }
    return nullptr;
}

void MenusTest::waitForRunEnd()
{
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 10000);
    QTRY_VERIFY(window->findChildren<QProcess *>().isEmpty());
}

void MenusTest::slotTableIsTheTwentyThreeSlotsInOrder()
{
    const QMetaObject *meta = window->metaObject();
    QCOMPARE(meta->className(), "MainWindow");
    QStringList slotList;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
        QString parameters;
        for (const QByteArray &name : method.parameterNames())
            parameters += (parameters.isEmpty() ? QString() : QStringLiteral(",")) +
                          QString::fromLatin1(name);
        slotList << QString::fromLatin1(method.methodSignature()) + QLatin1Char(' ') + parameters;
    }
    QCOMPARE(slotList, QStringList({
                           QStringLiteral("onCategoryChanged() "),
                           QStringLiteral("onSearch() "),
                           QStringLiteral("changePage(int) page"),
                           QStringLiteral("changePageSize(int) index"),
                           QStringLiteral("goToLastPage() "),
                           QStringLiteral("onCommandSelected() "),
                           QStringLiteral("onCommandDoubleClicked(int,int) row,column"),
                           QStringLiteral("executeSelectedCommand() "),
                           QStringLiteral("executeCustomCommand() "),
                           QStringLiteral("copyCommand() "),
                           QStringLiteral("showCommandHelp() "),
                           QStringLiteral("showCommandDetailsTab() "),
                           QStringLiteral("clearOutput() "),
                           QStringLiteral("saveOutput() "),
                           QStringLiteral("copyOutput() "),
                           QStringLiteral("stopCommand() "),
                           QStringLiteral("runAsAdmin() "),
                           QStringLiteral("checkSystem() "),
                           QStringLiteral("showSystemInfo() "),
                           QStringLiteral("showDiskInfo() "),
                           QStringLiteral("showNetworkInfo() "),
                           QStringLiteral("showHelp() "),
                           QStringLiteral("showAbout() "),
                       }));
    // Nothing else with meta-object data: no properties, class information, enumerations or
    // invokable constructors of its own.
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    QCOMPARE(meta->classInfoCount(), meta->classInfoOffset());
    QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());
    QCOMPARE(meta->constructorCount(), 0);
    QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
}

void MenusTest::menusHoldTheirEntriesWithoutShortcutText()
{
    QStringList titles;
    QList<QStringList> entries;
    for (QAction *menuAction : window->menuBar()->actions()) {
        QVERIFY(menuAction->menu());
        titles << menuAction->text();
        entries << entriesOf(menuAction->menu());
        for (QAction *action : menuAction->menu()->actions()) {
            QVERIFY(action->shortcut().isEmpty());
            QVERIFY(action->icon().isNull());
            QVERIFY(action->isEnabled());
            QVERIFY(!action->isCheckable());
            QVERIFY(!action->text().contains(QLatin1Char('&')));
        }
    }
    QCOMPARE(titles,
             QStringList({QStringLiteral("文件"), QStringLiteral("编辑"), QStringLiteral("视图"),
                          QStringLiteral("工具"), QStringLiteral("帮助")}));
    QCOMPARE(entries, QList<QStringList>({
                          {QStringLiteral("保存输出"), QStringLiteral("-"), QStringLiteral("退出")},
                          {QStringLiteral("复制命令"), QStringLiteral("复制输出"),
                           QStringLiteral("-"), QStringLiteral("清空输出")},
                          {QStringLiteral("刷新命令列表")},
                          {QStringLiteral("以管理员运行"), QStringLiteral("检查系统"),
                           QStringLiteral("-"), QStringLiteral("系统信息"),
                           QStringLiteral("磁盘信息"), QStringLiteral("网络信息")},
                          {QStringLiteral("使用帮助"), QStringLiteral("关于")},
                      }));
}

void MenusTest::menuEntriesReachTheirHandlers()
{
    // 文件: 保存输出 opens the save dialog.
    ui->outputEdit()->setPlainText(QStringLiteral("pane text"));
    auto fileDialog = answerNextFileDialog({});
    entry(QStringLiteral("文件"), QStringLiteral("保存输出"))->trigger();
    QVERIFY(fileDialog->seen);
    QCOMPARE(fileDialog->title, QStringLiteral("保存输出"));

    // 编辑: the selected command, the pane, clearing.
    QTableWidget *table = ui->commandTable();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCenter(table, 2, 1));
    entry(QStringLiteral("编辑"), QStringLiteral("复制命令"))->trigger();
    QCOMPARE(clipboard()->text(), table->item(2, 1)->text());
    entry(QStringLiteral("编辑"), QStringLiteral("复制输出"))->trigger();
    QCOMPARE(clipboard()->text(), QStringLiteral("pane text"));
    entry(QStringLiteral("编辑"), QStringLiteral("清空输出"))->trigger();
    QVERIFY(ui->outputEdit()->toPlainText().isEmpty());

    // 视图: 刷新命令列表 goes back to the first page.
    findButton(window, QStringLiteral("下一页"))->click();
    QCOMPARE(ui->currentPage(), 1);
    entry(QStringLiteral("视图"), QStringLiteral("刷新命令列表"))->trigger();
    QCOMPARE(ui->currentPage(), 0);

    // 工具: 以管理员运行 (already elevated here, so it says so).
    auto box = answerNextMessageBox(QMessageBox::Ok);
    entry(QStringLiteral("工具"), QStringLiteral("以管理员运行"))->trigger();
    QVERIFY(box->seen);
    QCOMPARE(box->text, QStringLiteral("当前已是管理员权限"));

    // 检查系统 runs the combined check in the output pane like a catalog command.
    entry(QStringLiteral("工具"), QStringLiteral("检查系统"))->trigger();
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    const QString header = ui->outputEdit()->toPlainText();
    QVERIFY2(
        header.contains(QStringLiteral("执行命令: 系统综合检查\n命令内容: systeminfo && wmic qfe "
                                       "list && ver && hostname && ipconfig /all\n")),
        qPrintable(header));
    QVERIFY(!header.contains(QStringLiteral("执行权限")));
    waitForRunEnd();
    QVERIFY(ui->outputEdit()->toPlainText().endsWith(kFooter));
#ifdef Q_OS_UNIX
    // The stand-in shell stops the chain at its first unknown command.
    QVERIFY(ui->outputEdit()->toPlainText().contains(QStringLiteral("not found")));
    QVERIFY(!ui->outputEdit()->toPlainText().contains(QStringLiteral("wmic: ")));
#endif

    // The information windows, usage help and About open with their titles.
    auto windows = answerTextWindows(5, 10000);
    entry(QStringLiteral("工具"), QStringLiteral("系统信息"))->trigger();
    QTRY_COMPARE(windows->size(), 1);
    entry(QStringLiteral("工具"), QStringLiteral("磁盘信息"))->trigger();
    QTRY_COMPARE(windows->size(), 2);
    entry(QStringLiteral("工具"), QStringLiteral("网络信息"))->trigger();
    QTRY_COMPARE(windows->size(), 3);
    entry(QStringLiteral("帮助"), QStringLiteral("使用帮助"))->trigger();
    entry(QStringLiteral("帮助"), QStringLiteral("关于"))->trigger();
    QCOMPARE(windows->size(), 5);
    QStringList titles;
    for (const SeenTextWindow &text : *windows)
        titles << text.title;
    QCOMPARE(titles, QStringList({QStringLiteral("系统信息"), QStringLiteral("磁盘信息"),
                                  QStringLiteral("网络信息"), QStringLiteral("使用帮助"),
                                  QStringLiteral("关于")}));
}

void MenusTest::exitAndCtrlQCloseTheWindow()
{
    entry(QStringLiteral("文件"), QStringLiteral("退出"))->trigger();
    QVERIFY(!window->isVisible());

    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!window->isVisible());
}

void MenusTest::shortcutsAreWindowWideAndReachTheirHandlers()
{
    const QList<QShortcut *> shortcuts = window->findChildren<QShortcut *>();
    QStringList keys;
    for (const QShortcut *shortcut : shortcuts) {
        QCOMPARE(shortcut->parent(), window);
        QCOMPARE(shortcut->context(), Qt::WindowShortcut);
        QVERIFY(shortcut->isEnabled());
        keys << shortcut->key().toString(QKeySequence::PortableText);
    }
    QCOMPARE(keys, QStringList({QStringLiteral("F5"), QStringLiteral("Ctrl+S"),
                                QStringLiteral("Ctrl+C"), QStringLiteral("Ctrl+F"),
                                QStringLiteral("Ctrl+Q"), QStringLiteral("Esc")}));

    // F5 refreshes the list.
    QTableWidget *table = ui->commandTable();
    findButton(window, QStringLiteral("下一页"))->click();
    QCOMPARE(ui->currentPage(), 1);
    QTest::keyClick(window, Qt::Key_F5);
    QCOMPARE(ui->currentPage(), 0);

    // Ctrl+C with a row selected and the focus in the table copies the output, not the command.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCenter(table, 1, 1));
    QVERIFY(table->hasFocus());
    ui->outputEdit()->setPlainText(QStringLiteral("the output"));
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard()->text(), QStringLiteral("the output"));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("输出已复制到剪贴板"));

    // Ctrl+F moves the focus to the search box, leaving its text alone.
    ui->searchEdit()->setText(QStringLiteral("ipconfig"));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(ui->searchEdit()->hasFocus());
    QCOMPARE(ui->searchEdit()->text(), QStringLiteral("ipconfig"));

    // Ctrl+S saves.
    auto fileDialog = answerNextFileDialog({});
    QTest::keyClick(table, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(fileDialog->seen);

    // Esc stops a running command; with nothing running it closes the (already closed) run
    // with a footer.
    ui->outputEdit()->clear();
    CommandInfo sleeper;
    sleeper.description = QStringLiteral("等待");
#ifdef Q_OS_WIN
    sleeper.command = QStringLiteral("ping -n 30 127.0.0.1 > nul");
#else
    sleeper.command = QStringLiteral("sleep 30");
#endif
    ui->executeCommand(sleeper);
    QVERIFY(ui->stopBtn()->isEnabled());
    // The closed save dialog leaves no active window behind on the offscreen platform.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    ui->outputEdit()->setFocus();
    QTest::keyClick(ui->outputEdit(), Qt::Key_Escape);
    waitForRunEnd();
    QVERIFY(ui->outputEdit()->toPlainText().contains(QStringLiteral("命令已被用户中断！")));
    QCOMPARE(ui->outputEdit()->toPlainText().count(kFooter), 1);
    QTest::keyClick(ui->outputEdit(), Qt::Key_Escape);
    QCOMPARE(ui->outputEdit()->toPlainText().count(kFooter), 2);
}

void MenusTest::tableDoubleClickRunsTheRowsCommand()
{
    // Any cell, the "权限" one included, runs that row's command.
    QTableWidget *table = ui->commandTable();
    const int row = ordinaryRow(table);
    QVERIFY(row > 0);
    const QString command = table->item(row, 1)->text();
    doubleClick(table->viewport(), cellCenter(table, row, 2));
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    QVERIFY2(
        ui->outputEdit()->toPlainText().contains(QStringLiteral("命令内容: %1\n").arg(command)),
        qPrintable(ui->outputEdit()->toPlainText()));
    waitForRunEnd();
}

void MenusTest::tableMenuActsOnTheCurrentRowOnly()
{
    QTableWidget *table = ui->commandTable();

    // No current row: no menu, neither for a request nor for a right-click into an empty table.
    QCOMPARE(table->currentRow(), -1);
    auto menu = answerNextPopupMenu({}, 1000);
    emit table->customContextMenuRequested(QPoint(5, 5));
    ui->searchEdit()->setText(QStringLiteral("zzqqxx"));
    QCOMPARE(table->rowCount(), 0);
    rightClick(table->viewport(), QPoint(20, 20));
    QVERIFY(!menu->seen);
    ui->searchEdit()->clear();
    menu.reset();

    // A right-click on a row makes it current and opens the menu at the mouse cursor.
    const QPoint cursorAt(205, 143);
    QCursor::setPos(cursorAt);
    menu = answerNextPopupMenu(QStringLiteral("复制命令"));
    rightClick(table->viewport(), cellCenter(table, 3, 0));
    QVERIFY(menu->seen);
    QCOMPARE(menu->entries,
             QStringList({QStringLiteral("执行命令"), QStringLiteral("-"),
                          QStringLiteral("复制命令"), QStringLiteral("查看详细信息")}));
    QCOMPARE(menu->position, cursorAt);
    QCOMPARE(menu->parent, window);
    QCOMPARE(table->currentRow(), 3);
    QCOMPARE(clipboard()->text(), table->item(3, 1)->text());
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("命令已复制到剪贴板"));

    // "查看详细信息" only switches the tab; the fields keep what they show.
    ui->mainTabs()->setCurrentIndex(1);
    ui->detailNameLabel()->setText(QStringLiteral("kept"));
    menu = answerNextPopupMenu(QStringLiteral("查看详细信息"));
    emit table->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(menu->seen);
    QCOMPARE(ui->mainTabs()->currentIndex(), 0);
    QCOMPARE(ui->detailNameLabel()->text(), QStringLiteral("kept"));

    // Dismissed: nothing happens.
    ui->mainTabs()->setCurrentIndex(2);
    clipboard()->setText(QStringLiteral("clipboard before"));
    menu = answerNextPopupMenu({});
    emit table->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(menu->seen);
    QCOMPARE(ui->mainTabs()->currentIndex(), 2);
    QCOMPARE(clipboard()->text(), QStringLiteral("clipboard before"));
    QVERIFY(ui->outputEdit()->toPlainText().isEmpty());

    // "执行命令" runs the current row.
    const int row = ordinaryRow(table);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellCenter(table, row, 1));
    menu = answerNextPopupMenu(QStringLiteral("执行命令"));
    emit table->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(menu->seen);
    QVERIFY(ui->outputEdit()->toPlainText().contains(
        QStringLiteral("命令内容: %1\n").arg(table->item(row, 1)->text())));
    waitForRunEnd();
}

QUILLWICK_TEST_MAIN(MenusTest)
#include "tst_menus.moc"

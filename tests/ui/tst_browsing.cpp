#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "testmain.h"
#include "ui/paging.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

namespace {

void clickRow(QTableWidget *table, int row)
{
    const QRect rect = table->visualItemRect(table->item(row, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

void pickCategory(QTreeWidget *tree, const QString &name)
{
    const QList<QTreeWidgetItem *> items = tree->findItems(name, Qt::MatchExactly);
    QVERIFY(items.size() == 1);
    tree->scrollToItem(items.first());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(items.first()).center());
    QCOMPARE(tree->currentItem(), items.first());
}

void typeSearch(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Presses Tab in whatever has the focus until `target` has it, as a user tabs into a widget.
void tabInto(QWidget *target)
{
    for (int i = 0; i < 60 && !target->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(target->hasFocus());
}

// The command line that "执行命令" starts, as the output pane's header names it.
QString startedCommandLine(MainWindowAccess *ui, QPushButton *execute)
{
    ui->outputEdit()->clear();
    QTest::mouseClick(execute, Qt::LeftButton);
    const QString pane = ui->outputEdit()->toPlainText();
    if (ui->process())
        QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!ui->process(), 15000); }();
    const QString prefix = QStringLiteral("命令内容: ");
    const qsizetype start = pane.indexOf(prefix);
    if (start < 0)
        return {};
    const qsizetype end = pane.indexOf(QLatin1Char('\n'), start);
    return pane.mid(start + prefix.size(), end - start - prefix.size());
}

} // namespace

class BrowsingTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pagingArithmetic();
    void startUpShowsTheFirstCategory();
    void pagingStopsAtBothEnds();
    void pageSizeChangesGoBackToTheFirstPage();
    void searchWithAndWithoutMatches();
    void categoryPickAndRefreshDuringASearch();
    void selectionShowsTheRecordOfTheRowShown();
    void emptyingTheSearchKeepsRowsAndRecordsTogether();
    void newListsLeaveTheDetailsAndTabAlone();
    void refreshAfterAnEmptiedSearchActsOnTheRowShown();
    void refilledTableGetsNoHiddenCurrentRowFromFocus();

private:
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QPushButton *button(const char *text) { return findButton(window, QString::fromUtf8(text)); }
};

void BrowsingTest::init()
{
    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void BrowsingTest::cleanup()
{
    delete ui;
    delete window;
}

void BrowsingTest::pagingArithmetic()
{
    QCOMPARE(totalPages(0, 20), 0);
    QCOMPARE(totalPages(1, 20), 1);
    QCOMPARE(totalPages(20, 20), 1);
    QCOMPARE(totalPages(21, 20), 2);
    QCOMPARE(pageInfoText(0, 0, 20), QStringLiteral("第 0/0 页，共 0 条命令"));
    QCOMPARE(pageInfoText(2, 115, 50), QStringLiteral("第 3/3 页，共 115 条命令"));
    QCOMPARE(pageRange(2, 115, 50).start, 100);
    QCOMPARE(pageRange(2, 115, 50).end, 115);
}

void BrowsingTest::startUpShowsTheFirstCategory()
{
    QTableWidget *table = ui->commandTable();
    QCOMPARE(table->rowCount(), 20);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/2 页，共 26 条命令"));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("显示系统详细信息"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("systeminfo"));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("否"));
    QCOMPARE(table->item(0, 2)->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(table->item(0, 0)->textAlignment() & Qt::AlignHorizontal_Mask,
             QTableWidgetItem().textAlignment() & Qt::AlignHorizontal_Mask);
    QCOMPARE(table->currentRow(), -1);
    QVERIFY(table->selectedItems().isEmpty());
    QCOMPARE(ui->categoryTree()->topLevelItemCount(), 21);
}

void BrowsingTest::pagingStopsAtBothEnds()
{
    QTableWidget *table = ui->commandTable();
    button("上一页")->click();
    QCOMPARE(ui->currentPage(), 0);
    QCOMPARE(table->rowCount(), 20);

    button("下一页")->click();
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 2/2 页，共 26 条命令"));
    QCOMPARE(table->item(0, 1)->text(), ui->currentCommands().at(20).command);
    button("下一页")->click();
    QCOMPARE(ui->currentPage(), 1);
    QCOMPARE(table->rowCount(), 6);

    button("首页")->click();
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/2 页，共 26 条命令"));

    pickCategory(ui->categoryTree(), QStringLiteral("Windows功能"));
    ui->pageSizeCombo()->setCurrentText(QStringLiteral("50"));
    QCOMPARE(ui->pageSize(), 50);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/3 页，共 115 条命令"));
    button("尾页")->click();
    QCOMPARE(table->rowCount(), 15);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 3/3 页，共 115 条命令"));
    QCOMPARE(table->item(14, 1)->text(), QStringLiteral("mobsync /showwarnings"));
    button("下一页")->click();
    QCOMPARE(ui->currentPage(), 2);
    button("上一页")->click();
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 2/3 页，共 115 条命令"));
}

void BrowsingTest::pageSizeChangesGoBackToTheFirstPage()
{
    pickCategory(ui->categoryTree(), QStringLiteral("Windows功能"));
    button("尾页")->click();
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 6/6 页，共 115 条命令"));

    ui->pageSizeCombo()->setCurrentText(QStringLiteral("30"));
    QCOMPARE(ui->currentPage(), 0);
    QCOMPARE(ui->commandTable()->rowCount(), 30);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/4 页，共 115 条命令"));

    // The page size survives a change of category.
    pickCategory(ui->categoryTree(), QStringLiteral("系统信息"));
    QCOMPARE(ui->commandTable()->rowCount(), 26);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/1 页，共 26 条命令"));
}

void BrowsingTest::searchWithAndWithoutMatches()
{
    // Fill the details first, so that a search without matches can be seen to empty them.
    clickRow(ui->commandTable(), 0);
    QCOMPARE(ui->detailNameLabel()->text(), QStringLiteral("显示系统详细信息"));

    typeSearch(ui->searchEdit(), QStringLiteral("ipconfig"));
    QVERIFY(ui->isSearchMode());
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/1 页，共 8 条命令"));
    QCOMPARE(ui->categoryTree()->currentItem(), nullptr);
    QCOMPARE(ui->commandTable()->item(0, 1)->text(), QStringLiteral("ipconfig /all"));

    typeSearch(ui->searchEdit(), QStringLiteral("zzqqxx"));
    QCOMPARE(ui->commandTable()->rowCount(), 0);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 0/0 页，共 0 条命令"));
    QVERIFY(ui->detailNameLabel()->text().isEmpty());
    QVERIFY(ui->detailCommandEdit()->toPlainText().isEmpty());
    QVERIFY(ui->detailDescriptionEdit()->toPlainText().isEmpty());
    for (const char *text : {"首页", "上一页", "下一页", "尾页"}) {
        button(text)->click();
        QCOMPARE(ui->currentPage(), 0);
        QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 0/0 页，共 0 条命令"));
    }

    // Spaces only count as empty: back to the category list.
    typeSearch(ui->searchEdit(), QStringLiteral("   "));
    QVERIFY(!ui->isSearchMode());
    QVERIFY(ui->searchResults().isEmpty());

    // Return in the box searches too; each search starts at the first page.
    typeSearch(ui->searchEdit(), QStringLiteral("a"));
    const int matches = int(ui->searchResults().size());
    QVERIFY(matches > 20);
    button("下一页")->click();
    QCOMPARE(ui->currentPage(), 1);
    QTest::keyClick(ui->searchEdit(), Qt::Key_Return);
    QCOMPARE(ui->currentPage(), 0);
    QCOMPARE(ui->pageInfoLabel()->text(), pageInfoText(0, matches, 20));
}

void BrowsingTest::categoryPickAndRefreshDuringASearch()
{
    typeSearch(ui->searchEdit(), QStringLiteral("net"));
    button("下一页")->click();
    QCOMPARE(ui->currentPage(), 1);

    // Refresh in search mode runs the search again from page 1.
    QTest::keyClick(window, Qt::Key_F5);
    QVERIFY(ui->isSearchMode());
    QCOMPARE(ui->currentPage(), 0);

    // Picking a category ends the search but keeps the keyword in the box.
    pickCategory(ui->categoryTree(), QStringLiteral("服务管理"));
    QVERIFY(!ui->isSearchMode());
    QCOMPARE(ui->searchEdit()->text(), QStringLiteral("net"));
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/3 页，共 42 条命令"));

    // Refresh in category mode reloads the category at page 1.
    button("下一页")->click();
    QTest::keyClick(window, Qt::Key_F5);
    QCOMPARE(ui->currentPage(), 0);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/3 页，共 42 条命令"));

    // Typing another character searches again.
    ui->searchEdit()->setFocus();
    ui->searchEdit()->end(false);
    QTest::keyClicks(ui->searchEdit(), QStringLiteral("s"));
    QVERIFY(ui->isSearchMode());
    QCOMPARE(ui->categoryTree()->currentItem(), nullptr);
}

void BrowsingTest::selectionShowsTheRecordOfTheRowShown()
{
    ui->mainTabs()->setCurrentIndex(1);
    button("下一页")->click();
    clickRow(ui->commandTable(), 2);
    QCOMPARE(ui->mainTabs()->currentIndex(), 0);
    QCOMPARE(ui->detailNameLabel()->text(), QStringLiteral("获取当前用户名"));
    QCOMPARE(ui->detailCommandEdit()->toPlainText(),
             QStringLiteral("wmic computersystem get username"));
    QVERIFY(ui->detailDescriptionEdit()->toPlainText().isEmpty());

    // A row with an explanation, then one without: the old explanation does not linger.
    button("首页")->click();
    clickRow(ui->commandTable(), 0);
    QVERIFY(!ui->detailDescriptionEdit()->toPlainText().isEmpty());
    button("下一页")->click();
    clickRow(ui->commandTable(), 2);
    QVERIFY(ui->detailDescriptionEdit()->toPlainText().isEmpty());

    // In search results the row maps into the results, not into the category.
    typeSearch(ui->searchEdit(), QStringLiteral("ipconfig"));
    clickRow(ui->commandTable(), 1);
    const CommandInfo selected = ui->currentCommand();
    QCOMPARE(selected.command, ui->commandTable()->item(1, 1)->text());
    QCOMPARE(selected.category, QStringLiteral("网络配置"));
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), selected.command);

    // Clicking into an empty table changes nothing.
    typeSearch(ui->searchEdit(), QStringLiteral("zzqqxx"));
    ui->detailNameLabel()->setText(QStringLiteral("unchanged"));
    QTest::mouseClick(ui->commandTable()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(ui->detailNameLabel()->text(), QStringLiteral("unchanged"));
    QVERIFY(ui->currentCommand().command.isEmpty());
}

void BrowsingTest::emptyingTheSearchKeepsRowsAndRecordsTogether()
{
    pickCategory(ui->categoryTree(), QStringLiteral("控制面板"));
    typeSearch(ui->searchEdit(), QStringLiteral("ipconfig"));
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/1 页，共 8 条命令"));

    // Clear button and typing both empty the box; either way the table, the label and the
    // record of a row come from one list.
    ui->searchEdit()->clear();
    QVERIFY(!ui->isSearchMode());
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/2 页，共 26 条命令"));
    QTableWidget *table = ui->commandTable();
    for (int row : {0, 3, table->rowCount() - 1}) {
        clickRow(table, row);
        const CommandInfo info = ui->currentCommand();
        QCOMPARE(info.command, table->item(row, 1)->text());
        QCOMPARE(info.description, table->item(row, 0)->text());
        QCOMPARE(info.category, QStringLiteral("控制面板"));
    }
}

void BrowsingTest::newListsLeaveTheDetailsAndTabAlone()
{
    clickRow(ui->commandTable(), 2);
    const QString selected = ui->commandTable()->item(2, 1)->text();
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), selected);
    ui->mainTabs()->setCurrentIndex(1);

    // A selected row that disappears with the page must not select the record now at its place.
    button("下一页")->click();
    pickCategory(ui->categoryTree(), QStringLiteral("网络配置"));
    typeSearch(ui->searchEdit(), QStringLiteral("net"));
    ui->pageSizeCombo()->setCurrentText(QStringLiteral("10"));
    QCOMPARE(ui->mainTabs()->currentIndex(), 1);
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), selected);
    QCOMPARE(ui->commandTable()->currentRow(), -1);
}

// Issue 13, first scenario: pick "系统信息", type a keyword, empty the search box, press "下一页"
// (page 2 of 2), then F5 or 视图 > 刷新命令列表. The first row shown is the record that the
// details show, "复制命令" copies and "执行命令" runs.
void BrowsingTest::refreshAfterAnEmptiedSearchActsOnTheRowShown()
{
    QTableWidget *table = ui->commandTable();
    QPushButton *execute = findButton(ui->mainTabs()->widget(0), QStringLiteral("执行命令"));
    QPushButton *copy = findButton(ui->mainTabs()->widget(0), QStringLiteral("复制命令"));
    QAction *refreshAction = nullptr;
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("刷新命令列表"))
            refreshAction = action;
    }
    QVERIFY(refreshAction);

    for (const bool fromMenu : {false, true}) {
        pickCategory(ui->categoryTree(), QStringLiteral("控制面板"));
        pickCategory(ui->categoryTree(), QStringLiteral("系统信息"));
        typeSearch(ui->searchEdit(), QStringLiteral("ip"));
        typeSearch(ui->searchEdit(), QString());
        button("下一页")->click();
        QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 2/2 页，共 26 条命令"));
        if (fromMenu)
            refreshAction->trigger();
        else
            QTest::keyClick(window, Qt::Key_F5);

        clickRow(table, 0);
        const QString shown = table->item(0, 1)->text();
        QCOMPARE(ui->detailCommandEdit()->toPlainText(), shown);
        copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), shown);
        QCOMPARE(startedCommandLine(ui, execute), shown);
        // A refresh shows the first page again.
        QCOMPARE(shown, QStringLiteral("systeminfo"));
        QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 1/2 页，共 26 条命令"));
    }
}

// Issue 13, second scenario: pick row 4 of page 1, press "下一页", tab into the table. No row is
// current, so "复制命令" copies nothing and "执行命令" asks for a choice; the table gets the focus
// back in other ways (a closed message box or menu, the window activated again) just the same. A
// row that the user makes current is highlighted and shown.
void BrowsingTest::refilledTableGetsNoHiddenCurrentRowFromFocus()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTableWidget *table = ui->commandTable();
    QPushButton *copy = findButton(ui->mainTabs()->widget(0), QStringLiteral("复制命令"));
    QPushButton *execute = findButton(ui->mainTabs()->widget(0), QStringLiteral("执行命令"));
    clickRow(table, 4);
    const QString picked = table->item(4, 1)->text();
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), picked);

    QTest::mouseClick(button("下一页"), Qt::LeftButton);
    QCOMPARE(ui->pageInfoLabel()->text(), QStringLiteral("第 2/2 页，共 26 条命令"));
    tabInto(table);
    QGuiApplication::clipboard()->setText(QStringLiteral("clipboard before"));
    copy->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("clipboard before"));
    QCOMPARE(table->currentRow(), -1);
    const auto refused = answerNextMessageBox(QMessageBox::Ok);
    execute->click();
    QCOMPARE(refused->text, QStringLiteral("请先选择一个命令"));
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), picked);
    // Back in the window after the box, the table has the focus again.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(table->hasFocus());
    QCOMPARE(table->currentRow(), -1);

    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::BacktabFocusReason}) {
        ui->searchEdit()->setFocus(reason);
        table->setFocus(reason);
        QVERIFY(table->hasFocus());
        QCOMPARE(table->currentRow(), -1);
    }

    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(table->currentRow(), 0);
    QVERIFY(table->item(0, 0)->isSelected());
    QCOMPARE(ui->detailCommandEdit()->toPlainText(), table->item(0, 1)->text());
    copy->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), table->item(0, 1)->text());

    // Deselected with Ctrl+click, the row is no longer current either.
    const QRect rect = table->visualItemRect(table->item(0, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    QVERIFY(table->selectedItems().isEmpty());
    QCOMPARE(table->currentRow(), -1);
    QVERIFY(ui->currentCommand().command.isEmpty());
}

QUILLWICK_TEST_MAIN(BrowsingTest)
#include "tst_browsing.moc"

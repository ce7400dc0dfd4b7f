#include "ui/mainwindow.h"

#include "ui/paging.h"

#include <QComboBox>
#include <QCursor>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

namespace {
constexpr int kDetailsTab = 0;
} // namespace

// The browsing state is the browsed list (a category's commands or the search results), the page
// and the page size. Every change of it ends in showPage, the one place that fills the table and
// the page label, so the rows on screen and the record that currentCommand maps a row to always
// come from the same list and page.

const QList<CommandInfo> &MainWindow::browsedList() const
{
    return isSearchMode ? searchResults : currentCommands;
}

void MainWindow::showPage(int page)
{
    currentPage = page;
    // Removing the rows changes the selection while the old current row is still set and the
    // paging state already names the new page: the selection handler would take the record now
    // at that position for the one the user picked, and show it.
    const QSignalBlocker blocker(commandTable);
    commandTable->clearContents();
    commandTable->setRowCount(0);

    const QList<CommandInfo> &list = browsedList();
    const int count = int(list.size());
    const PageRange range = pageRange(currentPage, count, pageSize);
    for (int i = range.start; i < range.end; ++i) {
        const CommandInfo &info = list.at(i);
        const int row = commandTable->rowCount();
        commandTable->insertRow(row);
        commandTable->setItem(row, 0, new QTableWidgetItem(info.description));
        commandTable->setItem(row, 1, new QTableWidgetItem(info.command));
        auto *adminItem =
            new QTableWidgetItem(info.needsAdmin ? QStringLiteral("是") : QStringLiteral("否"));
        adminItem->setTextAlignment(Qt::AlignCenter);
        commandTable->setItem(row, 2, adminItem);
    }

    pageInfoLabel->setText(pageInfoText(currentPage, count, pageSize));

    if (range.start >= range.end) {
        detailNameLabel->clear();
        detailCommandEdit->clear();
        detailDescriptionEdit->clear();
    }
}

void MainWindow::onCategoryChanged()
{
    isSearchMode = false;
    searchResults.clear();
    // Without a current item (the tree never lacks one outside a search) the category loaded
    // last is shown again.
    if (const QTreeWidgetItem *item = categoryTree->currentItem())
        currentCommands = catalog.commandsOf(item->text(0));
    showPage(0);
}

void MainWindow::onSearch()
{
    const QString text = searchEdit->text().trimmed();
    if (text.isEmpty()) {
        if (isSearchMode)
            showCategoryBeforeSearch();
        return;
    }
    isSearchMode = true;
    searchResults = catalog.search(text);
    if (categoryTree->currentItem()) {
        // Leaving the tree without a current item must not load a category: the search stays in
        // force, and picking any category, the one shown before too, ends it.
        const QSignalBlocker blocker(categoryTree);
        categoryTree->setCurrentItem(nullptr);
    }
    showPage(0);
}

void MainWindow::showCategoryBeforeSearch()
{
    // The category that the search replaced becomes the tree's current item again, as if the user
    // had picked it: the tree names the list on screen, and a refresh reloads that list.
    const QString name =
        currentCommands.isEmpty() ? QString() : currentCommands.constFirst().category;
    const QList<QTreeWidgetItem *> items = categoryTree->findItems(name, Qt::MatchExactly);
    if (!items.isEmpty()) {
        const QSignalBlocker blocker(categoryTree);
        categoryTree->setCurrentItem(items.first());
    }
    onCategoryChanged();
}

void MainWindow::firstPage()
{
    changePage(0);
}

void MainWindow::previousPage()
{
    changePage(currentPage - 1);
}

void MainWindow::nextPage()
{
    changePage(currentPage + 1);
}

void MainWindow::goToLastPage()
{
    changePage(totalPages(int(browsedList().size()), pageSize) - 1);
}

void MainWindow::changePage(int page)
{
    // A page that does not exist leaves the table as it is.
    if (page < 0 || page >= totalPages(int(browsedList().size()), pageSize))
        return;
    showPage(page);
}

void MainWindow::changePageSize(int index)
{
    Q_UNUSED(index);
    bool ok = false;
    const int size = pageSizeCombo->currentText().toInt(&ok);
    if (!ok || size <= 0)
        return;
    pageSize = size;
    showPage(0);
}

void MainWindow::refreshCommandList()
{
    if (isSearchMode)
        onSearch();
    else
        onCategoryChanged();
}

CommandInfo MainWindow::currentCommand() const
{
    // The highlighted row (single selection of whole rows: at most one), which the table also
    // keeps as its only possible current row.
    const QModelIndexList rows = commandTable->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return {};
    const qsizetype index = qsizetype(rows.first().row()) + qsizetype(pageSize) * currentPage;
    const QList<CommandInfo> &list = browsedList();
    if (index < list.size())
        return list.at(index);
    return {};
}

void MainWindow::onCommandSelected()
{
    const CommandInfo info = currentCommand();
    if (info.command.isEmpty())
        return;
    detailNameLabel->setText(info.description);
    detailCommandEdit->setPlainText(info.command);
    detailDescriptionEdit->setPlainText(info.detail);
    mainTabs->setCurrentIndex(kDetailsTab);
}

void MainWindow::showCommandDetailsTab()
{
    mainTabs->setCurrentIndex(kDetailsTab);
}

void MainWindow::onCommandDoubleClicked(int row, int column)
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    executeSelectedCommand();
}

void MainWindow::showCommandContextMenu(const QPoint &position)
{
    Q_UNUSED(position);
    if (currentCommand().command.isEmpty())
        return;

    QMenu menu(this);
    QAction *executeAction = menu.addAction(QStringLiteral("执行命令"));
    menu.addSeparator();
    QAction *copyAction = menu.addAction(QStringLiteral("复制命令"));
    QAction *detailsAction = menu.addAction(QStringLiteral("查看详细信息"));

    const QAction *chosen = menu.exec(QCursor::pos());
    if (chosen == executeAction)
        executeSelectedCommand();
    else if (chosen == copyAction)
        copyCommand();
    else if (chosen == detailsAction)
        showCommandDetailsTab();
}

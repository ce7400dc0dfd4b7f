#include "ui/mainwindow.h"

#include "ui/paging.h"

#include <QComboBox>
#include <QCursor>
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

const QList<CommandInfo> &MainWindow::browsedList() const
{
    return isSearchMode ? searchResults : currentCommands;
}

void MainWindow::updateCommandTable(const QList<CommandInfo> &list)
{
    // Removing the rows changes the selection while the old current row is still set and the
    // paging state already names the new page: the selection handler would take the record now
    // at that position for the one the user picked, and show it.
    const QSignalBlocker blocker(commandTable);
    commandTable->clearContents();
    commandTable->setRowCount(0);

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
    currentPage = 0;
    isSearchMode = false;
    searchResults.clear();

    const QTreeWidgetItem *item = categoryTree->currentItem();
    const QString name = item ? item->text(0) : QString();
    if (name.isEmpty())
        return;
    currentCommands = catalog.commandsOf(name);
    updateCommandTable(currentCommands);
}

void MainWindow::onSearch()
{
    const QString text = searchEdit->text().trimmed();
    if (!text.isEmpty()) {
        isSearchMode = true;
        searchResults = catalog.search(text);
        currentPage = 0;
        updateCommandTable(searchResults);
        if (categoryTree->currentItem()) {
            // Leaving the tree without a current item must not load a category: the search
            // stays in force.
            const QSignalBlocker blocker(categoryTree);
            categoryTree->setCurrentItem(nullptr);
        }
        return;
    }
    if (isSearchMode) {
        isSearchMode = false;
        searchResults.clear();
        onCategoryChanged();
        // After a search the tree has no current item, so nothing was reloaded; show the
        // category list the browsing state now points at, so that the rows on screen and the
        // record a row maps to come from the same list.
        if (!categoryTree->currentItem()) {
            currentPage = 0;
            updateCommandTable(currentCommands);
        }
    }
}

void MainWindow::firstPage()
{
    if (totalPages(int(browsedList().size()), pageSize) > 0) {
        currentPage = 0;
        updateCommandTable(browsedList());
    }
}

void MainWindow::previousPage()
{
    const int page = currentPage - 1;
    if (page < 0)
        return;
    if (page < totalPages(int(browsedList().size()), pageSize)) {
        currentPage = page;
        updateCommandTable(browsedList());
    }
}

void MainWindow::nextPage()
{
    const int page = currentPage + 1;
    if (page < totalPages(int(browsedList().size()), pageSize)) {
        currentPage = page;
        updateCommandTable(browsedList());
    }
}

void MainWindow::goToLastPage()
{
    const int page = totalPages(int(browsedList().size()), pageSize) - 1;
    if (page >= 0) {
        currentPage = page;
        updateCommandTable(browsedList());
    }
}

void MainWindow::changePage(int page)
{
    if (page < 0 || page >= totalPages(int(browsedList().size()), pageSize))
        return;
    currentPage = page;
    updateCommandTable(browsedList());
}

void MainWindow::changePageSize(int index)
{
    Q_UNUSED(index);
    bool ok = false;
    const int size = pageSizeCombo->currentText().toInt(&ok);
    if (!ok || size <= 0)
        return;
    pageSize = size;
    currentPage = 0;
    updateCommandTable(browsedList());
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
    const int row = commandTable->currentRow();
    if (row < 0)
        return {};
    const qsizetype index = qsizetype(row) + qsizetype(pageSize) * currentPage;
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
    if (commandTable->currentRow() < 0)
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

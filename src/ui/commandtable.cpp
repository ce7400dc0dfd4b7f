#include "ui/commandtable.h"

#include <QItemSelectionModel>

void CommandTable::focusInEvent(QFocusEvent *event)
{
    QTableWidget::focusInEvent(event);
    dropUnselectedCurrentRow();
}

void CommandTable::selectionChanged(const QItemSelection &selected,
                                    const QItemSelection &deselected)
{
    QTableWidget::selectionChanged(selected, deselected);
    dropUnselectedCurrentRow();
}

void CommandTable::dropUnselectedCurrentRow()
{
    // A click makes its row current before it selects it; by the time the selection or the focus
    // has changed, a current row without a selection is one that the user did not pick.
    const QModelIndex current = currentIndex();
    if (current.isValid() && !selectionModel()->isRowSelected(current.row(), current.parent()))
        selectionModel()->clearCurrentIndex();
}

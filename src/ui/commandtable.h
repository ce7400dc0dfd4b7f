#pragma once

#include <QTableWidget>

// The command table: a QTableWidget whose current row is always one that the user picked and
// that is highlighted. Qt's item views make the first row current, without selecting it, when they
// get the keyboard focus while no row is current (Tab, the window activated again, a menu or a
// message box closed), and they keep a row current that the user deselected (Ctrl+click); the
// window's actions would then act on a row that nothing on screen marks. This table drops such a
// current row again, so after a refill no row is current until the user picks one.
class CommandTable : public QTableWidget
{
public:
    using QTableWidget::QTableWidget;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;

private:
    void dropUnselectedCurrentRow();
};

#include "mainwindowaccess.h"

#include <QPushButton>

QPushButton *findButton(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

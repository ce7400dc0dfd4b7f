#include "ui/consolefont.h"

#include <QFont>
#include <QWidget>

void useConsoleFont(QWidget *widget)
{
    QFont font(QStringLiteral("Consolas"), 10);
    font.setStyleHint(QFont::Monospace);
    widget->setFont(font);
    widget->setStyleSheet(QStringLiteral("font-family: \"%1\"; font-size: %2pt;")
                              .arg(font.family(), QString::number(font.pointSize())));
}

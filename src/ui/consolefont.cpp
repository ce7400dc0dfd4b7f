#include "ui/consolefont.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QWidget>

void useConsoleFont(QWidget *widget)
{
    QFont font(QStringLiteral("Consolas"), 10);
    font.setStyleHint(QFont::Monospace);
    widget->setFont(font);
    widget->setStyleSheet(QStringLiteral("font-family: \"%1\"; font-size: %2pt;")
                              .arg(font.family(), QString::number(font.pointSize())));
    // A console's tab stops are every 8 columns; the text box's default is every 80 pixels.
    if (auto *edit = qobject_cast<QPlainTextEdit *>(widget))
        edit->setTabStopDistance(consoleTabStop(font));
}

qreal consoleTabStop(const QFont &font)
{
    return 8 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' '));
}

#pragma once

#include <QtGlobal>

class QFont;
class QWidget;

// Console output in fixed-pitch Consolas 10 pt, so that the columns of tasklist, netstat and wmic
// line up; where Consolas is missing, the font matcher picks a monospace font instead. The
// window's style sheet gives every widget its own font, so the widget gets a rule of its own,
// which wins over the inherited one. A text box also gets a console's tab stops.
void useConsoleFont(QWidget *widget);

// The distance between two tab stops in `font`: 8 columns, as in a console.
qreal consoleTabStop(const QFont &font);

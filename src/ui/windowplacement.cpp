#include "ui/windowplacement.h"

WindowPlacement placeWindow(const QRect &area, const QMargins &frame, const QSize &wanted,
                            const QSize &minimum)
{
    const QSize room = area.size().shrunkBy(frame).expandedTo(QSize(1, 1));
    QRect outer(QPoint(), wanted.boundedTo(room).grownBy(frame));
    outer.moveCenter(area.center());
    return {outer.marginsRemoved(frame), minimum.boundedTo(room)};
}

#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Where a top-level window opens on its screen: its client geometry and its minimum size.
struct WindowPlacement
{
    QRect geometry; // without the frame
    QSize minimumSize;
};

// Places a window whose client area should be `wanted`, and never smaller than `minimum`, in the
// available area of a screen, given the frame that the window system draws around it: the wanted
// size where the area holds it with its frame, else as much as the area holds; the minimum size
// bounded by the area as well; the frame centred in the area.
WindowPlacement placeWindow(const QRect &area, const QMargins &frame, const QSize &wanted,
                            const QSize &minimum);

#pragma once

#include "modalanswer.h"

#include <QList>
#include <QPoint>
#include <QSharedPointer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// What a test saw of a pop-up menu that the code under test opened.
struct SeenMenu
{
    bool seen = false;
    QStringList entries; // entry texts in order, a separator as "-"
    QPoint position;     // top-left corner on the screen
    QWidget *parent = nullptr;
};

// The answers below wait until the test drops its last reference to their result: a test that
// checks that something did not open keeps the result to the end of the check, and an answer that
// was not used cannot catch a later test's widget.

// Answers the next pop-up menu that opens within `timeoutMs`: records it, then picks the entry
// `entryText` as a user would (highlight it, press Return), or presses Escape when `entryText` is
// empty or not in the menu.
QSharedPointer<SeenMenu> answerNextPopupMenu(const QString &entryText, int timeoutMs = 5000);

// Calls `handle` with the active modal widget, from the event loop that the widget runs, until
// `handle` returns true, `timeoutMs` has passed or `wanted` says false. `handle` inspects and
// closes the widget.
void whenNextModal(std::function<bool()> wanted, std::function<bool(QWidget *)> handle,
                   int timeoutMs = 5000);

// Answers the next `count` message boxes, one after the other: records each and presses Yes when
// the box has it (an overwrite question), else OK.
QSharedPointer<QList<SeenModal>> answerMessageBoxes(int count, int timeoutMs = 5000);

// A text window (a dialog that is neither a message box nor a file dialog) as the test saw it.
struct SeenTextWindow
{
    QString title;
    QString text; // of the QPlainTextEdit in it
    QSize size;
};

bool isTextWindow(QWidget *modal);

// Answers the next `count` text windows with their "关闭" button, recording each as it opened.
QSharedPointer<QList<SeenTextWindow>> answerTextWindows(int count, int timeoutMs = 5000);

// A right-click delivered through the widget's window, as the platform delivers it, so that the
// context-menu request follows from it.
void rightClick(QWidget *widget, const QPoint &position);

// A double-click delivered through the widget's window: press, release, press, release, so that
// the widget sees the press before the double-click as with a real mouse.
void doubleClick(QWidget *widget, const QPoint &position);

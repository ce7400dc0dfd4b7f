#include "widgetwatch.h"

#include "mainwindowaccess.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Polls from the event loop, so that it also runs inside the nested loop of a modal widget or a
// pop-up menu.
void poll(std::function<bool()> wanted, int timeoutMs, std::function<bool()> step)
{
    auto *timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline, wanted, step] {
        if (!wanted() || step() || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

} // namespace

QSharedPointer<SeenMenu> answerNextPopupMenu(const QString &entryText, int timeoutMs)
{
    auto seen = QSharedPointer<SeenMenu>::create();
    const QWeakPointer<SeenMenu> weak = seen;
    poll([weak] { return !weak.isNull(); }, timeoutMs,
         [weak, entryText] {
             const QSharedPointer<SeenMenu> seen = weak.toStrongRef();
             auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
             if (!menu || !menu->isVisible())
                 return false;
             seen->seen = true;
             seen->position = menu->pos();
             seen->parent = menu->parentWidget();
             QAction *target = nullptr;
             for (QAction *action : menu->actions()) {
                 seen->entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
                 if (!action->isSeparator() && !entryText.isEmpty() && action->text() == entryText)
                     target = action;
             }
             if (target) {
                 menu->setActiveAction(target);
                 QTest::keyClick(menu, Qt::Key_Return);
             } else {
                 QTest::keyClick(menu, Qt::Key_Escape);
             }
             return true;
         });
    return seen;
}

void whenNextModal(std::function<bool()> wanted, std::function<bool(QWidget *)> handle,
                   int timeoutMs)
{
    poll(wanted, timeoutMs, [handle] {
        QWidget *modal = QApplication::activeModalWidget();
        return modal && modal->isVisible() && handle(modal);
    });
}

QSharedPointer<QList<SeenModal>> answerMessageBoxes(int count, int timeoutMs)
{
    auto seen = QSharedPointer<QList<SeenModal>>::create();
    const QWeakPointer<QList<SeenModal>> weak = seen;
    auto answered = QSharedPointer<QList<QPointer<QMessageBox>>>::create();
    poll([weak] { return !weak.isNull(); }, timeoutMs,
         [weak, answered, count] {
             const QSharedPointer<QList<SeenModal>> seen = weak.toStrongRef();
             auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
             if (!box || !box->isVisible() || answered->contains(box))
                 return false;
             answered->append(box);
             seen->append(seenModal(box));
             if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                 yes->click();
             else if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                 ok->click();
             else
                 box->reject();
             return seen->size() >= count;
         });
    return seen;
}

bool isTextWindow(QWidget *modal)
{
    return qobject_cast<QDialog *>(modal) && !qobject_cast<QMessageBox *>(modal) &&
           !qobject_cast<QFileDialog *>(modal);
}

QSharedPointer<QList<SeenTextWindow>> answerTextWindows(int count, int timeoutMs)
{
    auto seen = QSharedPointer<QList<SeenTextWindow>>::create();
    const QWeakPointer<QList<SeenTextWindow>> weak = seen;
    auto answered = QSharedPointer<QList<QPointer<QWidget>>>::create();
    whenNextModal([weak] { return !weak.isNull(); },
                  [weak, answered, count](QWidget *modal) {
                      if (!isTextWindow(modal) || answered->contains(modal))
                          return false;
                      answered->append(modal);
                      const auto seen = weak.toStrongRef();
                      auto *area = modal->findChild<QPlainTextEdit *>();
                      seen->append({modal->windowTitle(), area ? area->toPlainText() : QString(),
                                    modal->size()});
                      if (QPushButton *close = findButton(modal, QStringLiteral("关闭")))
                          close->click();
                      return seen->size() >= count;
                  },
                  timeoutMs);
    return seen;
}

void rightClick(QWidget *widget, const QPoint &position)
{
    QWidget *top = widget->window();
    const QPoint inWindow = widget->mapTo(top, position);
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, inWindow);
}

void doubleClick(QWidget *widget, const QPoint &position)
{
    QWidget *top = widget->window();
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, position));
}

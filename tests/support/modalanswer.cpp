#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

// Polls for the active modal widget from the event loop that the modal widget itself runs.
void whenModalAppears(int timeoutMs, std::function<bool(QWidget *)> handle)
{
    auto *timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline, handle] {
        QWidget *modal = QApplication::activeModalWidget();
        if ((modal && handle(modal)) || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

} // namespace

SeenModal seenModal(QWidget *modal)
{
    SeenModal seen;
    seen.seen = true;
    seen.className = QString::fromLatin1(modal->metaObject()->className());
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        seen.icon = box->icon();
    } else if (auto *edit = modal->findChild<QPlainTextEdit *>()) {
        seen.text = edit->toPlainText();
    }
    return seen;
}

QSharedPointer<SeenModal> answerNextMessageBox(QMessageBox::StandardButton button, int timeoutMs)
{
    auto seen = QSharedPointer<SeenModal>::create();
    whenModalAppears(timeoutMs, [seen, button](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return false;
        *seen = seenModal(box);
        if (QAbstractButton *target = box->button(button))
            target->click();
        else
            box->reject();
        return true;
    });
    return seen;
}

QSharedPointer<SeenModal> answerNextDialog(const QString &buttonText, int timeoutMs)
{
    auto seen = QSharedPointer<SeenModal>::create();
    whenModalAppears(timeoutMs, [seen, buttonText](QWidget *modal) {
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog || qobject_cast<QMessageBox *>(modal) || qobject_cast<QFileDialog *>(modal))
            return false;
        *seen = seenModal(dialog);
        if (buttonText.isEmpty()) {
            dialog->reject();
            return true;
        }
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == buttonText) {
                button->click();
                return true;
            }
        }
        dialog->reject();
        return true;
    });
    return seen;
}

QSharedPointer<SeenModal> answerNextFileDialog(const QString &path, int timeoutMs)
{
    auto seen = QSharedPointer<SeenModal>::create();
    whenModalAppears(timeoutMs, [seen, path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return false;
        *seen = seenModal(dialog);
        if (path.isEmpty()) {
            dialog->reject();
        } else if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            // Typed as a user would: selectFile() can be undone by the folder view loading late.
            name->setText(path);
            static_cast<QDialog *>(dialog)->accept();
        } else {
            dialog->reject();
        }
        return true;
    });
    return seen;
}

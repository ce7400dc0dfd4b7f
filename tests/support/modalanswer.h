#pragma once

#include <QMessageBox>
#include <QSharedPointer>
#include <QString>

// What a test saw of a modal widget that the code under test opened.
struct SeenModal
{
    bool seen = false;
    QString className; // e.g. "QMessageBox", "QDialog", "QFileDialog"
    QString title;
    QString text; // QMessageBox text, or the plain text of a QPlainTextEdit inside a dialog
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// What `modal` shows now.
SeenModal seenModal(QWidget *modal);

// Answers the next modal widget that becomes active within `timeoutMs`: records what it showed
// and presses `button` (a QMessageBox standard button). Call it before the operation that opens
// the box; inspect the result after the operation returned.
QSharedPointer<SeenModal> answerNextMessageBox(QMessageBox::StandardButton button,
                                               int timeoutMs = 5000);

// Answers the next modal QDialog (not a message box) by clicking its push button labelled
// `buttonText`, or by rejecting it when `buttonText` is empty.
QSharedPointer<SeenModal> answerNextDialog(const QString &buttonText, int timeoutMs = 5000);

// Answers the next QFileDialog: accepts it with `path`, or cancels it when `path` is empty.
QSharedPointer<SeenModal> answerNextFileDialog(const QString &path, int timeoutMs = 5000);

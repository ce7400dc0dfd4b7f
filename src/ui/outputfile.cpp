#include "ui/outputfile.h"

#include <QSaveFile>

QString proposedOutputFileName(const QDateTime &when)
{
    return QStringLiteral("cmd_output_%1.txt")
        .arg(when.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}

QString selectionAsPlainText(const QString &selectedText)
{
    QString text = selectedText;
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QString writeTextFile(const QString &path, const QString &text)
{
    // QSaveFile writes beside the target and replaces it only on commit, so a failed write never
    // leaves a truncated file behind. Unbuffered, because Qt 6.4's commit overlooks an error of
    // the final flush of its buffer and would replace the file with a truncated one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const QByteArray bytes = text.toUtf8();
    qint64 written = 0;
    while (written < bytes.size()) {
        // A short write (disk full, size limit) reports no error; the next attempt does.
        const qint64 chunk = file.write(bytes.constData() + written, bytes.size() - written);
        if (chunk <= 0) {
            const QString error = file.errorString();
            file.cancelWriting();
            return error;
        }
        written += chunk;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <QString>

// A command line that runs the piecewriter fixture (built beside the tests): each piece is one
// write, `pauseMs` apart, so that every piece reaches the tool in a read of its own.
inline QString pieceWriterLine(int pauseMs, const QList<QByteArray> &pieces)
{
    QString line = QStringLiteral("\"%1\" %2").arg(
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                 QStringLiteral("/piecewriter")),
        QString::number(pauseMs));
    for (const QByteArray &piece : pieces)
        line += QLatin1Char(' ') + QString::fromLatin1(piece.toHex());
    return line;
}

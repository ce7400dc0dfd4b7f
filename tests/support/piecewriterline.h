#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>

// A command line that runs the piecewriter fixture (built beside the tests): each piece is one
// write, `pauseMs` apart, so that every piece reaches the tool in a read of its own.
inline QString pieceWriterLine(int pauseMs, const QList<QByteArray> &pieces)
{
    QString line = QStringLiteral("\"%1\" %2")
                       .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                                     QStringLiteral("/piecewriter")),
                            QString::number(pauseMs));
    for (const QByteArray &piece : pieces)
        line += QLatin1Char(' ') + QString::fromLatin1(piece.toHex());
    return line;
}

// A command line that runs the fixture's flood: numbered lines as fast as the pipe takes them, up
// to about `bytes`, with the number written so far kept in the file `progressPath`. With
// `oneLine`, the same 32-byte records without line ends.
inline QString floodWriterLine(qint64 bytes, const QString &progressPath, bool oneLine = false)
{
    return QStringLiteral("\"%1\" %2 %3 \"%4\"")
        .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                      QStringLiteral("/piecewriter")),
             oneLine ? QStringLiteral("--flood-line") : QStringLiteral("--flood"),
             QString::number(bytes), QDir::toNativeSeparators(progressPath));
}

// The lines the flood has handed to its pipe so far, as its progress file says; 0 before it says.
inline qint64 floodProgress(const QString &progressPath)
{
    QFile file(progressPath);
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
}

// A command line that runs the fixture's questions: `count` times "ask<n>? ", each answered by a
// line read from standard input, which it repeats as "got[<line>]"; "eof" when input ends first.
inline QString askingLine(int count)
{
    return QStringLiteral("\"%1\" --ask %2")
        .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                      QStringLiteral("/piecewriter")),
             QString::number(count));
}

// How many of the one-line flood's records `text` holds, each once and in order from 1; -1 when
// one is missing, doubled or damaged. The last may be cut short, as a stopped flood leaves it.
inline qint64 floodRecordsInOrder(QStringView text)
{
    qint64 records = 0;
    for (; !text.isEmpty(); text = text.sliced(std::min<qsizetype>(32, text.size()))) {
        const QString expected =
            QStringLiteral("%1 flooding the pipe..  ").arg(records + 1, 10, 10, QLatin1Char('0'));
        if (text.size() < 32)
            return expected.startsWith(text) ? records : -1;
        if (text.first(32) != expected)
            return -1;
        ++records;
    }
    return records;
}

// How many of the flood's lines `text` holds, each once and in order from 1, with LF or CR LF
// ends; -1 when a line is missing, doubled or damaged. The last line may be cut short, as a
// stopped flood leaves it.
inline qint64 floodLinesInOrder(QStringView text)
{
    qint64 lines = 0;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'));
        QStringView line = end < 0 ? text : text.first(end);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString expected =
            QStringLiteral("%1 flooding the pipe..").arg(lines + 1, 10, 10, QLatin1Char('0'));
        if (end < 0)
            return expected.startsWith(line) ? lines : -1;
        if (line != expected)
            return -1;
        ++lines;
        text = text.sliced(end + 1);
    }
    return lines;
}

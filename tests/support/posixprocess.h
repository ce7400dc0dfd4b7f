#pragma once

// For tests that run only on POSIX systems: whether a child process of a command has ended.

#include <QFile>
#include <QString>

#include <cerrno>
#include <signal.h>

// True once `pid` has ended: gone, or a zombie that nobody reaped yet.
inline bool processEnded(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray fields = stat.readAll();
    const qsizetype afterName = fields.lastIndexOf(')');
    return afterName > 0 && fields.mid(afterName + 2, 1) == "Z";
}

// The process id a command wrote into `path`; 0 when there is none.
inline qint64 pidFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toLongLong();
}

#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

#include <unistd.h>

/// What a test process holds: its open descriptors and its children, read from /proc.
namespace ProcessCensus {

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

/// Children of this process, zombies included.
inline QStringList children()
{
    QStringList found;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLocal8Bit(stat.readAll());
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const QStringList rest = line.mid(line.lastIndexOf(u')') + 2).split(u' ');
        if (rest.size() > 1 && rest.at(1) == self)
            found << line.left(line.lastIndexOf(u')') + 1);
    }
    return found;
}

} // namespace ProcessCensus

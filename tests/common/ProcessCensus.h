// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

#include <unistd.h>

/// What a test process holds: its open descriptors and its children, read from /proc.
namespace ProcessCensus {

/// Set in this process's environment before anything starts, so every process the test starts
/// inherits it: a leftover of another run of the test with the same command line is not counted.
/// A test that runs itself again as a host keeps the tag it was given.
inline const QByteArray tag = [] {
    QByteArray value = qgetenv("LANYARD_TEST_CENSUS");
    if (value.isEmpty()) {
        value = QByteArray::number(::getpid());
        qputenv("LANYARD_TEST_CENSUS", value);
    }
    return QByteArray("LANYARD_TEST_CENSUS=") + value;
}();

/// True when the environment of process @p pid holds this test's tag.
inline bool startedHere(const QString &pid)
{
    QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
    return environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(tag);
}

inline int openDescriptors()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

/// Each process of the system as "pid (name) state ppid ..." from its stat file, by pid.
template<typename Visit>
void visitProcesses(Visit visit)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLocal8Bit(stat.readAll());
        // The name may hold spaces and parentheses: the fields follow its last ")".
        const qsizetype nameEnd = line.lastIndexOf(u')') + 1;
        visit(pid, line.left(nameEnd), line.mid(nameEnd + 1).split(u' '));
    }
}

/// Children of this process, zombies included, as "pid (name)".
inline QStringList children()
{
    QStringList found;
    const QString self = QString::number(::getpid());
    visitProcesses([&](const QString &, const QString &head, const QStringList &fields) {
        if (fields.size() > 1 && fields.at(1) == self)
            found << head;
    });
    return found;
}

/// True once a child of this process named @p name (as in its stat file, "(NAME)") has ended
/// and waits to be reaped: from then on a wait reports it. Its command line empties earlier,
/// while it is still tearing down.
inline bool childEndedUnreaped(const QString &name)
{
    bool ended = false;
    const QString self = QString::number(::getpid());
    visitProcesses([&](const QString &, const QString &head, const QStringList &fields) {
        if (fields.size() > 1 && fields.at(1) == self && fields.at(0) == u"Z"
            && head.endsWith(QStringLiteral(" (") + name + u')'))
            ended = true;
    });
    return ended;
}

/// The processes this test started (their children included) whose command line begins with
/// @p marker; zombies do not count.
inline QList<pid_t> running(const QString &marker)
{
    QList<pid_t> found;
    visitProcesses([&](const QString &pid, const QString &, const QStringList &fields) {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!fields.isEmpty() && fields.at(0) != u"Z" && commandLine.open(QIODevice::ReadOnly)
            && commandLine.readAll().replace('\0', ' ').startsWith(marker.toUtf8()) && startedHere(pid))
            found << pid.toInt();
    });
    return found;
}

} // namespace ProcessCensus

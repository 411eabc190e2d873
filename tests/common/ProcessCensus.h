// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

/// What a test process holds: its open descriptors and its children, read from /proc (with plain
/// system calls: tests look often, and many at once).
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

inline QByteArray read(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    char buffer[4096];
    for (ssize_t got = 1; fd >= 0 && got > 0;) {
        got = ::read(fd, buffer, sizeof buffer);
        bytes.append(buffer, std::max<ssize_t>(got, 0));
    }
    if (fd >= 0)
        ::close(fd);
    return bytes;
}

/// The entries of a /proc folder, "." and ".." left out.
inline QByteArrayList entries(const char *folder)
{
    QByteArrayList names;
    if (DIR *dir = ::opendir(folder)) {
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                names << entry->d_name;
        }
        ::closedir(dir);
    }
    return names;
}

/// The descriptors this process holds; without @p files only pipes, sockets and the like (the
/// caches a library keeps mapped are no leak).
inline int openDescriptors(bool files = true)
{
    int count = 0;
    for (const QByteArray &fd : entries("/proc/self/fd")) {
        char target[1]{};
        count += files || (::readlink("/proc/self/fd/" + fd, target, 1) == 1 && target[0] != '/');
    }
    return count;
}

/// Each process of the system as its number, "(name)" and the fields of its stat file after it.
template<typename Visit>
void visitProcesses(Visit visit)
{
    for (const QByteArray &pid : entries("/proc")) {
        const QByteArray line = read("/proc/" + pid + "/stat");
        // The name may hold spaces and parentheses: the fields follow its last ")".
        const qsizetype nameEnd = line.lastIndexOf(')') + 1;
        if (pid.at(0) >= '0' && pid.at(0) <= '9' && nameEnd > 0)
            visit(pid, QString::fromLocal8Bit(line.left(nameEnd)),
                  QString::fromLocal8Bit(line.mid(nameEnd + 1)).split(u' '));
    }
}

/// Children of this process, zombies included, as "pid (name)".
inline QStringList children()
{
    QStringList found;
    const QString self = QString::number(::getpid());
    visitProcesses([&](const QByteArray &, const QString &head, const QStringList &fields) {
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
    visitProcesses([&](const QByteArray &, const QString &head, const QStringList &fields) {
        ended = ended
                || (fields.size() > 1 && fields.at(1) == self && fields.at(0) == u"Z"
                    && head.endsWith(" (" + name + ')'));
    });
    return ended;
}

/// The processes this test started (their children included) whose command line begins with
/// one of @p markers; zombies do not count.
inline QList<pid_t> running(const QStringList &markers)
{
    QList<pid_t> found;
    visitProcesses([&](const QByteArray &pid, const QString &, const QStringList &fields) {
        const QByteArray commandLine = read("/proc/" + pid + "/cmdline").replace('\0', ' ');
        for (const QString &marker : markers) {
            if (!fields.isEmpty() && fields.at(0) != u"Z" && commandLine.startsWith(marker.toUtf8())
                && read("/proc/" + pid + "/environ").split('\0').contains(tag)) {
                found << pid.toInt();
                break;
            }
        }
    });
    return found;
}
inline QList<pid_t> running(const QString &marker) { return running(QStringList{marker}); }

} // namespace ProcessCensus

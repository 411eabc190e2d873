// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayList>
#include <QStringList>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

/// What a test process holds: its open descriptors and its children, read from /proc with plain
/// system calls (tests look often, and many at once).
namespace ProcessCensus {

/// Inherited by all the test starts, so that another run's leftovers are not counted; a host the
/// test runs again keeps its tag.
inline const QByteArray tag = [] {
    if (qEnvironmentVariableIsEmpty("LANYARD_TEST_CENSUS"))
        qputenv("LANYARD_TEST_CENSUS", QByteArray::number(::getpid()));
    return "LANYARD_TEST_CENSUS=" + qgetenv("LANYARD_TEST_CENSUS");
}();

inline QByteArray read(const QByteArray &path)
{
    QByteArray bytes;
    char buffer[4096];
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    for (ssize_t got = 1; fd >= 0 && got > 0; bytes.append(buffer, std::max<ssize_t>(got, 0)))
        got = ::read(fd, buffer, sizeof buffer);
    return fd >= 0 && ::close(fd) == 0 ? bytes : QByteArray();
}

inline QByteArrayList entries(const char *folder)
{
    QByteArrayList names;
    DIR *dir = ::opendir(folder);
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.')
            names << entry->d_name;
    }
    if (dir)
        ::closedir(dir);
    return names;
}

/// The descriptors this process holds; without @p files only pipes, sockets and the like.
inline int openDescriptors(bool files = true)
{
    return int(std::ranges::count_if(entries("/proc/self/fd"), [files](const QByteArray &fd) {
        char target[1]{};
        return files || (::readlink("/proc/self/fd/" + fd, target, 1) == 1 && target[0] != '/');
    }));
}

/// Each process of the system: "pid (name)" and the fields that follow in its stat file.
inline QList<std::pair<QString, QStringList>> processes()
{
    QList<std::pair<QString, QStringList>> found;
    for (const QByteArray &pid : entries("/proc")) {
        const QString line = QString::fromLocal8Bit(read("/proc/" + pid + "/stat"));
        const qsizetype nameEnd = line.lastIndexOf(u')') + 1; // the name may hold blanks and parentheses
        if (nameEnd > 0 && pid.front() >= '0' && pid.front() <= '9')
            found.emplace_back(line.left(nameEnd), line.mid(nameEnd + 1).split(u' '));
    }
    return found;
}

/// Children of this process, zombies included, as "pid (name) state".
inline QStringList children()
{
    QStringList found;
    for (const auto &[head, fields] : processes()) {
        if (fields.value(1) == QString::number(::getpid()))
            found << head + u' ' + fields.at(0);
    }
    return found;
}

/// True once a child named @p name has ended and waits to be reaped (its command line empties earlier).
inline bool childEndedUnreaped(const QString &name)
{
    return std::ranges::any_of(children(),
                               [&name](const QString &child) { return child.endsWith(" (" + name + ") Z"); });
}

/// The processes this test started, zombies aside, whose command line begins with one of @p markers.
inline QList<pid_t> running(const QStringList &markers)
{
    QList<pid_t> found;
    for (const auto &[head, fields] : processes()) {
        const QByteArray pid = head.section(u' ', 0, 0).toLatin1();
        const QByteArray commandLine = read("/proc/" + pid + "/cmdline").replace('\0', ' ');
        if (fields.value(0) != u"Z"
            && std::ranges::any_of(markers,
                                   [&](const QString &marker) { return commandLine.startsWith(marker.toUtf8()); })
            && read("/proc/" + pid + "/environ").split('\0').contains(tag))
            found << pid.toInt();
    }
    return found;
}
inline QList<pid_t> running(const QString &marker) { return running(QStringList{marker}); }

} // namespace ProcessCensus

// SPDX-License-Identifier: MIT
#pragma once
// Files written and read byte for byte, links, owners, permissions that bind root too, a watch's wait.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestFiles {

inline bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
inline bool replace(const QString &path, const QByteArray &bytes) // beside it, renamed over it, as editors do
{
    const QString temporary = path + QStringLiteral(".new");
    return write(temporary, bytes)
           && ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0;
}
inline bool link(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}
inline bool setOwner(const QString &path, uid_t uid, gid_t gid, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    return ::chown(native.constData(), uid, gid) == 0 && ::chmod(native.constData(), mode) == 0;
}
inline QString ownership(const QString &path) // "uid:gid:mode" (octal) after links; empty when none
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    return QStringLiteral("%1:%2:%3").arg(info.st_uid).arg(info.st_gid).arg(info.st_mode & 07777, 4, 8, QChar(u'0'));
}
inline void settle() // a watch reads a change 30 ms after it sees it, before the loop's end
{
    QEventLoop loop;
    QCoreApplication::processEvents(), QTimer::singleShot(50, &loop, &QEventLoop::quit), loop.exec();
}

} // namespace TestFiles

/// While it lives, a root test's file-system ids are nobody's, so that permissions apply.
struct FilePermissionsApply
{
    static constexpr unsigned nobody = 65534;
    const bool root = ::geteuid() == 0;
    FilePermissionsApply() { root && (::setfsgid(nobody), ::setfsuid(nobody)); }
    ~FilePermissionsApply() { root && (::setfsuid(0), ::setfsgid(0)); }
};

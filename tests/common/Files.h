// SPDX-License-Identifier: MIT
#pragma once

// Files a test writes and reads back byte for byte, links, owners and modes, file permissions
// that apply to root too, and the wait until a change written has been read by every watch.
#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QString>
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

/// Writes @p bytes beside @p path and renames them over it, as editors and other writers replace a file.
inline bool replace(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".new");
    return write(temporary, bytes)
           && ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0;
}

/// A symbolic link at @p link to @p target, taken as it is (relative to the link's folder).
inline bool link(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

inline bool setOwner(const QString &path, uid_t uid, gid_t gid, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    return ::chown(native.constData(), uid, gid) == 0 && ::chmod(native.constData(), mode) == 0;
}

/// "uid:gid:mode" of the file @p path names (after links), the mode in octal; empty when none.
inline QString ownership(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    return QStringLiteral("%1:%2:%3").arg(info.st_uid).arg(info.st_gid).arg(info.st_mode & 07777, 4, 8, QChar(u'0'));
}

/// Runs the loop until every live list has read what was written before: each watch sees the
/// change at once and reads the file 30 ms later, within the loop run after that.
inline void settle()
{
    QCoreApplication::processEvents();
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace TestFiles

/**
 * While it lives, file permissions apply to this thread even when the test runs as root: the
 * file-system user and group become nobody's, which drops root's override of permissions.
 * Files made meanwhile belong to nobody, so the folders they go into must let anyone in.
 * For another user it changes nothing: permissions apply already.
 */
class FilePermissionsApply
{
public:
    static constexpr unsigned nobody = 65534;

    FilePermissionsApply()
        : m_root(::geteuid() == 0)
    {
        if (m_root) {
            ::setfsgid(nobody);
            ::setfsuid(nobody);
        }
    }
    ~FilePermissionsApply()
    {
        if (m_root) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    FilePermissionsApply(const FilePermissionsApply &) = delete;
    FilePermissionsApply &operator=(const FilePermissionsApply &) = delete;

private:
    bool m_root;
};

// SPDX-License-Identifier: MIT
#pragma once

// Files a test writes and reads back byte for byte, and file permissions that apply to root too.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/fsuid.h>
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

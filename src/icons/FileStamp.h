#pragma once

#include <QString>

namespace Lanyard {

/// What tells whether a file changed: a regular file (links followed), which file it is, its
/// size and its modification time. Taking it costs one stat.
struct FileStamp
{
    bool isFile = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileStamp &) const = default;

    /// The stamp of @p path; the stamp of no file when the path names no regular file.
    static FileStamp of(const QString &path);
};

} // namespace Lanyard

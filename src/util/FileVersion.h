// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

namespace Lanyard {

/// How a regular file looks now: which file it is, its size and its modification time. Two
/// looks that differ tell that the file was written, replaced or removed in between.
struct FileVersion
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileVersion &) const = default;

    /// The version of the regular file at @p path (native text, links followed); nothing when
    /// there is none.
    static std::optional<FileVersion> of(const QString &path);
    /// The version of the open regular file @p fd; nothing for any other kind of file.
    static std::optional<FileVersion> ofDescriptor(int fd);
};

} // namespace Lanyard

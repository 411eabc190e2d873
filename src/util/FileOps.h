#pragma once

#include <QString>

/// Path and file routines. Both "/" and "\" separate folders; the last of either counts.
namespace Lanyard::FileOps {

/// The file name without folder and extension, tabs trimmed; empty when the last dot stands
/// before the last separator.
QString FileBaseName(const QString &path);

/// The path up to and including its last separator, tabs trimmed; empty without a separator.
QString FolderOfPath(const QString &path);

/// True when @p path, with every double quote removed, matches at least one normal file
/// (wildcards allowed; directories, hidden and special files do not count).
bool FileExists(const QString &path);

} // namespace Lanyard::FileOps

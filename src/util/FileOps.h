// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/// Path and file routines. Both "/" and "\" separate folders; the last of either counts.
namespace Lanyard::FileOps {

/// The last component of the path without its extension (from its last dot on; a name that
/// only begins with a dot has none), tabs trimmed. A dot in a folder name does not count.
QString FileBaseName(const QString &path);

/// The path up to and including its last separator, tabs trimmed; empty without a separator.
QString FolderOfPath(const QString &path);

/// True when @p path, with every double quote removed, names a normal file, or else matches
/// one with the wildcards * and ? (directories, hidden and special files do not count).
bool FileExists(const QString &path);

/// The file that starts the program stored as @p path: the path itself when FileExists says
/// so; a path without a folder that names none in the current folder is looked up in PATH, as
/// desktop launchers look a program up. Nothing when neither finds one.
std::optional<QString> ProgramFile(const QString &path);

} // namespace Lanyard::FileOps

// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

/// The platform's file listing, restricted to normal files, and the look-ups that go with it.
/// Paths are native text (NativeText): their bytes reach the file system unchanged.
namespace Lanyard::FileListing {

/**
 * @p pattern itself when it names a normal file: a regular file whose name does not start
 * with "." (hidden). Otherwise, when it holds the wildcards * or ?, the first normal file
 * they match; "[", "]" and "\" are never wildcards. Directories, devices, sockets and FIFOs do
 * not count. Empty when nothing matches or on any error.
 */
QString firstNormalFile(const QString &pattern);

/// The first @p size bytes of the file at @p path; empty when it cannot be read.
QByteArray head(const QString &path, qsizetype size);

/// True when @p path (no wildcards) names a regular file; hidden files count.
bool isRegularFile(const QString &path);

/// The first executable regular file named @p name (a name without a folder) in the folders of
/// PATH; empty when none.
QString findOnPath(const QString &name);

/// @p path with every symbolic link, "." and ".." resolved; empty when it names nothing.
QString canonicalPath(const QString &path);

/// The current directory of the process.
QString currentFolder();

/**
 * @p path made absolute against the current directory, naming the same file: "." components
 * and repeated slashes go, ".." stays for the kernel, which takes it after symbolic links
 * ("link/.." is the link target's parent, not the folder the link is in).
 */
QString absolutePath(const QString &path);

/**
 * The file that @p path names once every symbolic link is followed, in every component and at
 * the end, as an absolute path without links, "." or "..". When the final file does not exist
 * (yet), its real folder and its name: where a new file of that path would appear. Empty when
 * that folder cannot be resolved.
 */
QString realFile(const QString &path);

} // namespace Lanyard::FileListing

#pragma once

#include <QString>

/// The platform's file listing, restricted to normal files.
namespace Lanyard::FileListing {

/**
 * The name of the first entry matching @p pattern (wildcards allowed) that is a normal file:
 * a regular file whose name does not start with "." (hidden). Directories, devices, sockets
 * and FIFOs do not count. Empty when nothing matches or on any error.
 */
QString firstNormalFile(const QString &pattern);

/// True when @p path (no wildcards) names a regular file; hidden files count.
bool isRegularFile(const QString &path);

} // namespace Lanyard::FileListing

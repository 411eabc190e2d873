// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QString>

#include <chrono>

/**
 * Program icons for application records.
 *
 * A program's icon is the Icon of the freedesktop desktop entry that runs it (see
 * DesktopEntryIndex), else the icon of its file's MIME type; both are looked up by IconTheme,
 * which leaves the host's icon theme and search paths as they are. Icons are made only where
 * a QGuiApplication exists: without one (a QCoreApplication, or no application object) every
 * icon is null.
 *
 * Each lookup takes one stat of the file: a cached icon is handed out while the path names
 * the same regular file with the same size and modification time, so a program that
 * disappears gives a null icon at once, and the same path gives the same QIcon (same
 * cacheKey()) for as long as its file stays as it is. The desktop entries are scanned at the
 * first lookup and again, dropping the cache, when an entry file or a folder of entries has
 * changed; that is checked at most once per check interval (half a second by default).
 * Call these functions on the GUI thread only.
 */
namespace Lanyard::mGetFileIcon {

/// The icon of the program at @p path: @p size 2 asks for the large icon (32 pixels), any
/// other value for the small one (16 pixels); both come as the same QIcon, which renders
/// either size. A path without a folder that names no file in the current folder is looked up
/// in PATH, as a launch does. A null icon when no existing regular file is found.
QIcon GetFileIcon(const QString &path, qint32 size);

/// The picture for an icon: the icon itself, or a null icon for a null one.
QIcon IconToPicture(const QIcon &icon);

/// How often the desktop entries are checked for changes at most.
void setEntryCheckInterval(std::chrono::milliseconds interval);

} // namespace Lanyard::mGetFileIcon

#pragma once

#include <QIcon>
#include <QString>

#include <chrono>

/**
 * Program icons for application records.
 *
 * A program's icon is the Icon of the freedesktop desktop entry that runs it (see
 * DesktopEntryIndex), else the icon of its file's MIME type; both are looked up in the icon
 * theme. When no icon theme is set (as on the offscreen platform, which also searches no system
 * icon folder), the first lookup adds the XDG icon folders to the search paths and sets
 * Adwaita, which holds the MIME type icons and inherits hicolor, with hicolor as fallback; a
 * theme or fallback the host chose is never changed.
 *
 * Icons are cached per path string. A cached icon is handed out without touching the file
 * system for the cache lifetime (two seconds by default); after that the next lookup takes
 * one stat of the file, keeps the same icon when it is the same regular file with the same
 * size and modification time, and obtains the icon again otherwise. So a program that
 * appears, disappears or is replaced is noticed within the lifetime, and the same path gives
 * the same QIcon (same cacheKey()) for as long as its file stays as it is. The desktop entries
 * are scanned at the first lookup and scanned again, dropping the cache, when a folder of
 * entries changed (checked at most once a lifetime, and not more often than twice a second).
 * Call these functions on the GUI thread only.
 */
namespace Lanyard::mGetFileIcon {

/// The icon of the program at @p path: @p size 2 asks for the large icon (32 pixels), any
/// other value for the small one (16 pixels); both come as the same QIcon, which renders
/// either size. A null icon when the path names no existing regular file.
QIcon GetFileIcon(const QString &path, qint32 size);

/// The picture for an icon: the icon itself, or a null icon for a null one.
QIcon IconToPicture(const QIcon &icon);

/// How long a cached icon is handed out before its file is checked again.
void setCacheLifetime(std::chrono::milliseconds lifetime);

} // namespace Lanyard::mGetFileIcon

#pragma once

#include <QIcon>
#include <QString>

/// Program icons for application records.
namespace Lanyard::mGetFileIcon {

/// The icon of the program at @p path: @p size 2 asks for the large icon, any other value for
/// the small one. A null icon when the path names no existing file.
QIcon GetFileIcon(const QString &path, qint32 size);

/// The picture for an icon: the icon itself, or a null icon for a null one.
QIcon IconToPicture(const QIcon &icon);

} // namespace Lanyard::mGetFileIcon

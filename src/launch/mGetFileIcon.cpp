#include "mGetFileIcon.h"

namespace Lanyard::mGetFileIcon {

QIcon GetFileIcon(const QString &, qint32) { return QIcon(); }

QIcon IconToPicture(const QIcon &icon) { return icon; }

} // namespace Lanyard::mGetFileIcon

// SPDX-License-Identifier: MIT
#include "LibraryLocation.h"

#include "FileListing.h"
#include "text/NativeText.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace Lanyard::LibraryLocation {

QString filePath()
{
    static const QString path = [] {
        Dl_info info{};
        if (::dladdr(reinterpret_cast<const void *>(&filePath), &info) == 0 || !info.dli_fname)
            return QString();
        const QString name = NativeText::decode(info.dli_fname);
        return FileListing::absolutePath(name);
    }();
    return path;
}

QString folder()
{
    const QString path = filePath();
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString baseName()
{
    // "liblanyard.so.1.0.0" has several dots; the base name ends at the first one.
    const QString name = QFileInfo(filePath()).fileName();
    return name.left(name.indexOf(u'.'));
}

} // namespace Lanyard::LibraryLocation

// SPDX-License-Identifier: MIT
#include "ImageList.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace Lanyard {

void ImageList::clear() { m_images.clear(); }

int ImageList::add(const QIcon &icon, const QString &key)
{
    m_images.append(Image{icon, key});
    return count();
}

QIcon ImageList::icon(int index) const
{
    if (index < 1 || index > count())
        return QIcon();
    return m_images.at(index - 1).icon;
}

QIcon ImageList::icon(const QString &key) const { return icon(indexOf(key)); }

int ImageList::indexOf(const QString &key) const
{
    for (int i = 0; i < count(); ++i) {
        if (m_images.at(i).key == key)
            return i + 1;
    }
    return 0;
}

QIcon ImageList::resourceIcon(const QString &name)
{
    const QString path = u":/lanyard/icons/%1.svg"_s.arg(name.toLower());
    if (name.isEmpty() || !QFile::exists(path))
        return QIcon();
    return QIcon(path);
}

ImageList ImageList::ofResources(std::initializer_list<QString> names)
{
    ImageList images;
    for (const QString &name : names)
        images.add(resourceIcon(name), name);
    return images;
}

} // namespace Lanyard

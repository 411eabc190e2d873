// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QList>
#include <QSize>
#include <QString>

#include <initializer_list>

namespace Lanyard {

/// Ordered icons with optional keys, addressed by one-based index or by key; the images of
/// the tree and list controls.
class ImageList
{
public:
    void clear();

    QSize imageSize() const { return m_imageSize; }
    void setImageSize(QSize size) { m_imageSize = size; }

    /// Appends @p icon (shared, not copied pixel by pixel) and returns its one-based index.
    int add(const QIcon &icon, const QString &key = QString());

    int count() const { return int(m_images.size()); }
    /// The image at one-based @p index; a null icon outside the list.
    QIcon icon(int index) const;
    /// The first image with @p key (case-sensitive); a null icon when there is none.
    QIcon icon(const QString &key) const;
    /// One-based index of the first image with @p key, or 0.
    int indexOf(const QString &key) const;

    /// The library's icon resource @p name ("GROUP", "APP", "EXE" or "TEXT"), drawn as
    /// scalable artwork; a null icon for any other name.
    static QIcon resourceIcon(const QString &name);
    /// The resource icons @p names, each under its name as key, in that order.
    static ImageList ofResources(std::initializer_list<QString> names);

private:
    struct Image
    {
        QIcon icon;
        QString key;
    };
    QList<Image> m_images;
    QSize m_imageSize{16, 16};
};

} // namespace Lanyard

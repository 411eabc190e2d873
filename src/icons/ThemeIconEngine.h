// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QList>
#include <QString>

namespace Lanyard {

/**
 * An icon of a theme, given as the files that draw it at their sizes, that reads a file only
 * when a size is drawn (the way Qt's own theme icons do): finding the icons of a whole menu
 * then costs no image reading.
 */
class ThemeIconEngine : public QIconEngine
{
public:
    struct File
    {
        QString path;
        int size = 0; ///< its nominal size in pixels; a scalable file draws any size
    };

    explicit ThemeIconEngine(QList<File> files);

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString key() const override;
    QIconEngine *clone() const override;
    bool isNull() override;

private:
    /// The file that draws @p extent best: the smallest at least as large, else the largest.
    const File &bestFor(int extent) const;
    QIcon &loaded(const File &file);

    QList<File> m_files;
    QHash<QString, QIcon> m_loaded; // by path: the file's own icon, read when first drawn
};

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include "ThemeIconEngine.h"

#include <QPainter>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Lanyard {

ThemeIconEngine::ThemeIconEngine(QList<File> files)
    : m_files(std::move(files))
{
    // Of files of one size the first found wins: the theme's own order (PNG before SVG).
    std::stable_sort(m_files.begin(), m_files.end(), [](const File &a, const File &b) { return a.size < b.size; });
}

const ThemeIconEngine::File &ThemeIconEngine::bestFor(int extent) const
{
    const auto larger = std::find_if(m_files.cbegin(), m_files.cend(),
                                     [extent](const File &file) { return file.size >= extent; });
    return larger != m_files.cend() ? *larger : m_files.constLast();
}

QIcon &ThemeIconEngine::loaded(const File &file)
{
    auto found = m_loaded.find(file.path);
    if (found == m_loaded.end())
        found = m_loaded.insert(file.path, QIcon(file.path));
    return *found;
}

QPixmap ThemeIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    if (m_files.isEmpty())
        return QPixmap();
    return loaded(bestFor(std::max(size.width(), size.height()))).pixmap(size, mode, state);
}

void ThemeIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device()->devicePixelRatio();
    const QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
    painter->drawPixmap(rect, drawn);
}

QSize ThemeIconEngine::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    if (m_files.isEmpty())
        return QSize();
    // The file pixmap() draws says what it draws: never scaled up, its shape kept.
    return loaded(bestFor(std::max(size.width(), size.height()))).actualSize(size, mode, state);
}

QList<QSize> ThemeIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const File &file : std::as_const(m_files))
        sizes << QSize(file.size, file.size);
    return sizes;
}

QString ThemeIconEngine::key() const { return u"Lanyard::ThemeIconEngine"_s; }

QIconEngine *ThemeIconEngine::clone() const { return new ThemeIconEngine(m_files); }

bool ThemeIconEngine::isNull() { return m_files.isEmpty(); }

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include "IconThemeCache.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr quint32 noOffset = 0xFFFFFFFF;
constexpr quint32 headerSize = 12;

/// The hash the cache files its names by: each character as a signed byte.
quint32 nameHash(QByteArrayView name)
{
    if (name.isEmpty())
        return 0;
    quint32 hash = quint32(qint32(static_cast<signed char>(name.front())));
    for (const char c : name.sliced(1))
        hash = (hash << 5) - hash + quint32(qint32(static_cast<signed char>(c)));
    return hash;
}

// The formats the flags of an image name.
constexpr std::pair<quint16, const char16_t *> suffixFlags[] = {{0x4, u".png"}, {0x2, u".svg"}, {0x1, u".xpm"}};

} // namespace

IconThemeCache::IconThemeCache(const QString &root)
    : m_file(root + u"/icon-theme.cache"_s)
{
    if (!m_file.open(QIODevice::ReadOnly) || m_file.size() < headerSize || m_file.size() > noOffset)
        return;
    m_data = m_file.map(0, m_file.size());
    m_size = quint32(m_file.size());
    if (m_data && (half(0) != 1 || !checkFolders(root))) {
        m_file.unmap(const_cast<uchar *>(m_data));
        m_data = nullptr;
    }
}

quint32 IconThemeCache::word(quint32 offset) const
{
    return offset <= m_size - 4 ? qFromBigEndian<quint32>(m_data + offset) : noOffset;
}

quint16 IconThemeCache::half(quint32 offset) const
{
    return offset <= m_size - 2 ? qFromBigEndian<quint16>(m_data + offset) : 0;
}

QByteArrayView IconThemeCache::text(quint32 offset) const
{
    if (offset >= m_size)
        return {};
    const auto *start = reinterpret_cast<const char *>(m_data + offset);
    const auto *end = static_cast<const char *>(std::memchr(start, 0, m_size - offset));
    return end ? QByteArrayView(start, end) : QByteArrayView();
}

bool IconThemeCache::checkFolders(const QString &root)
{
    const QDateTime written = QFileInfo(m_file).lastModified();
    const quint32 list = word(8);
    const quint32 count = word(list);
    if (count == noOffset || count > m_size / 4)
        return false;
    for (quint32 i = 0; i < count; ++i) {
        const QString folder = QString::fromUtf8(text(word(list + 4 + 4 * i)));
        if (QFileInfo(root + u'/' + folder).lastModified() > written)
            return false; // icons were added since the cache was written
        m_folders.append(folder);
    }
    return QFileInfo(root).lastModified() <= written;
}

QList<IconThemeCache::File> IconThemeCache::filesOf(const QString &name) const
{
    QList<File> files;
    if (!m_data)
        return files;
    const QByteArray key = name.toUtf8();
    const quint32 table = word(4);
    const quint32 buckets = word(table);
    if (buckets == 0 || buckets == noOffset)
        return files;
    // A chain longer than the file could hold is a broken file, not a longer search.
    quint32 steps = m_size / 12;
    for (quint32 icon = word(table + 4 + 4 * (nameHash(key) % buckets)); icon != noOffset && steps-- > 0;
         icon = word(icon)) {
        if (text(word(icon + 4)) != key)
            continue;
        const quint32 images = word(icon + 8);
        const quint32 count = word(images);
        for (quint32 i = 0; count != noOffset && i < count && i < m_size / 8; ++i) {
            const quint16 folder = half(images + 4 + 8 * i);
            const quint16 flags = half(images + 6 + 8 * i);
            if (folder >= m_folders.size())
                continue;
            for (const auto &[flag, suffix] : suffixFlags) {
                if (flags & flag)
                    files.append({m_folders.at(folder), QString::fromUtf16(suffix)});
            }
        }
        break;
    }
    return files;
}

} // namespace Lanyard

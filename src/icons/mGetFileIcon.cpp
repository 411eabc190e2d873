// SPDX-License-Identifier: MIT
#include "mGetFileIcon.h"

#include "DesktopEntryIndex.h"
#include "IconTheme.h"
#include "util/FileListing.h"
#include "util/FileOps.h"
#include "util/FileVersion.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QMimeDatabase>

#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard::mGetFileIcon {

namespace {

constexpr qint64 defaultEntryCheckIntervalMs = 500;
// Keeps a long run of distinct programs from growing the cache without bound.
constexpr qsizetype largestCache = 4096;
// What MIME type sniffing reads of a file.
constexpr qsizetype sniffedBytes = 16384;

/// A desktop entry's Icon: an absolute image file, or a theme name (an image suffix, which
/// some entries carry by mistake, is dropped).
QIcon iconOfEntryValue(IconTheme &theme, const QString &value)
{
    if (value.startsWith(u'/'))
        return FileListing::isRegularFile(value) ? QIcon(value) : QIcon();
    for (const QString &suffix : {u".png"_s, u".svg"_s, u".xpm"_s}) {
        if (value.endsWith(suffix))
            return theme.icon(value.chopped(suffix.size()));
    }
    return theme.icon(value);
}

/// The icon names of the file's MIME type, most specific first. A compiled program (ELF) is
/// an executable without asking the MIME database, which costs much more per file; a program
/// built as position-independent would be called a shared library there besides.
QStringList mimeIconNames(const QString &path)
{
    const QByteArray head = FileListing::head(path, sniffedBytes);
    if (head.startsWith("\x7f"
                        "ELF"))
        return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(path, head);
    return {type.iconName(), type.genericIconName()};
}

QIcon mimeIcon(IconTheme &theme, const QString &path)
{
    const QStringList names = mimeIconNames(path) << u"application-x-executable"_s;
    for (const QString &name : names) {
        QIcon icon = theme.icon(name);
        if (!icon.isNull())
            return icon;
    }
    return QIcon();
}

void clearCache();

class ProgramIconCache
{
public:
    ProgramIconCache() { m_clock.start(); }

    QIcon lookup(const QString &path)
    {
        refreshIndex();
        const std::optional<FileVersion> stamp = FileVersion::of(path);
        const auto cached = m_entries.find(path);
        if (cached != m_entries.end() && cached->stamp == stamp)
            return cached->icon;
        QIcon icon = stamp ? iconOfProgram(path) : QIcon();
        // Only icons are kept: a path that names nothing costs nothing to look up again.
        if (stamp) {
            if (m_entries.size() >= largestCache)
                m_entries.clear();
            m_entries.insert(path, Cached{icon, stamp});
        } else if (cached != m_entries.end())
            m_entries.erase(cached);
        return icon;
    }

    void setCheckInterval(qint64 intervalMs)
    {
        m_checkIntervalMs = intervalMs;
        m_checkDue = std::min(m_checkDue, m_clock.elapsed() + intervalMs);
    }

    void clear()
    {
        m_entries.clear();
        m_index.reset();
        m_theme.reset();
    }

private:
    struct Cached
    {
        QIcon icon;
        std::optional<FileVersion> stamp;
    };

    QIcon iconOfProgram(const QString &path)
    {
        const QString entryIcon = m_index->iconFor(FileListing::canonicalPath(path));
        if (!entryIcon.isEmpty()) {
            QIcon icon = iconOfEntryValue(*m_theme, entryIcon);
            if (!icon.isNull())
                return icon;
        }
        return mimeIcon(*m_theme, path);
    }

    void refreshIndex()
    {
        const qint64 now = m_clock.elapsed();
        if (!m_index) {
            // Icons must not outlive the application that renders them.
            qAddPostRoutine(clearCache);
            m_index.emplace();
            m_theme.emplace();
        } else if (now < m_checkDue) {
            return;
        } else if (m_index->isStale()) {
            m_index.emplace();
            m_entries.clear();
        }
        m_checkDue = now + m_checkIntervalMs;
    }

    QElapsedTimer m_clock;
    qint64 m_checkIntervalMs = defaultEntryCheckIntervalMs;
    qint64 m_checkDue = 0;
    QHash<QString, Cached> m_entries;
    std::optional<DesktopEntryIndex> m_index;
    std::optional<IconTheme> m_theme;
};

ProgramIconCache &cache()
{
    static ProgramIconCache instance;
    return instance;
}

void clearCache() { cache().clear(); }

} // namespace

QIcon GetFileIcon(const QString &path, qint32 size)
{
    // One QIcon renders both the small and the large size.
    Q_UNUSED(size);
    // Icons hold pixmaps, which only a QGuiApplication can make.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QIcon();
    // A program found on PATH (sort, tr) has the icon of the file that starts it.
    return cache().lookup(FileOps::ProgramFile(path).value_or(path));
}

QIcon IconToPicture(const QIcon &icon) { return icon; }

void setEntryCheckInterval(std::chrono::milliseconds interval) { cache().setCheckInterval(interval.count()); }

} // namespace Lanyard::mGetFileIcon

#include "mGetFileIcon.h"

#include "DesktopEntryIndex.h"
#include "FileStamp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard::mGetFileIcon {

namespace {

constexpr qint64 defaultLifetimeMs = 2000;
constexpr qsizetype minimumSweepSize = 4096;
// Checking the folders of desktop entries stats each of them: not more often than this.
constexpr qint64 minimumIndexCheckIntervalMs = 500;

bool themeInstalled(const QString &theme)
{
    const QStringList searchPaths = QIcon::themeSearchPaths();
    return std::any_of(searchPaths.cbegin(), searchPaths.cend(), [&theme](const QString &folder) {
        return QFileInfo::exists(folder + u'/' + theme + u"/index.theme"_s);
    });
}

/// Platforms without an icon theme (offscreen, minimal) search no system folder either.
void addSystemIconFolders()
{
    QStringList searchPaths = QIcon::themeSearchPaths();
    const QStringList systemFolders = QStringList{QDir::homePath() + u"/.icons"_s}
                                      + QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"icons"_s,
                                                                  QStandardPaths::LocateDirectory);
    for (const QString &folder : systemFolders) {
        if (!searchPaths.contains(folder) && QFileInfo(folder).isDir())
            searchPaths.append(folder);
    }
    if (searchPaths != QIcon::themeSearchPaths())
        QIcon::setThemeSearchPaths(searchPaths);
}

/// Gives the offscreen platform (or any without a theme) an icon theme, leaving the host's be.
void ensureIconTheme()
{
    // Adwaita holds the MIME type icons and inherits hicolor, where programs put theirs.
    const QStringList preferred{u"Adwaita"_s, u"hicolor"_s};
    if (QIcon::themeName().isEmpty()) {
        addSystemIconFolders();
        const auto installed = std::find_if(preferred.cbegin(), preferred.cend(), themeInstalled);
        QIcon::setThemeName(installed == preferred.cend() ? preferred.constLast() : *installed);
    }
    if (QIcon::fallbackThemeName().isEmpty()) {
        for (const QString &theme : preferred) {
            if (theme != QIcon::themeName() && themeInstalled(theme)) {
                QIcon::setFallbackThemeName(theme);
                break;
            }
        }
    }
}

QIcon themeIcon(const QString &name)
{
    if (name.isEmpty())
        return QIcon();
    QIcon icon = QIcon::fromTheme(name);
    return icon.isNull() ? QIcon() : icon;
}

/// A desktop entry's Icon: an absolute image file, or a theme name (an image suffix, which
/// some entries carry by mistake, is dropped).
QIcon iconOfEntryValue(const QString &value)
{
    if (QDir::isAbsolutePath(value))
        return QFileInfo(value).isFile() ? QIcon(value) : QIcon();
    static const QStringList imageSuffixes{u".png"_s, u".svg"_s, u".xpm"_s};
    for (const QString &suffix : imageSuffixes) {
        if (value.endsWith(suffix))
            return themeIcon(value.chopped(suffix.size()));
    }
    return themeIcon(value);
}

QIcon mimeIcon(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    for (const QString &name : {type.iconName(), type.genericIconName(), u"application-x-executable"_s}) {
        QIcon icon = themeIcon(name);
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
        const qint64 now = m_clock.elapsed();
        const auto cached = m_entries.constFind(path);
        if (cached != m_entries.cend() && now < cached->validUntil)
            return cached->icon;
        return refresh(path, now);
    }

    void setLifetime(qint64 lifetimeMs)
    {
        m_lifetimeMs = lifetimeMs;
        const qint64 latest = m_clock.elapsed() + lifetimeMs;
        for (Cached &entry : m_entries)
            entry.validUntil = std::min(entry.validUntil, latest);
        m_indexCheckDue = std::min(m_indexCheckDue, m_clock.elapsed() + indexCheckInterval());
    }

    void clear()
    {
        m_entries.clear();
        m_index.reset();
    }

private:
    struct Cached
    {
        QIcon icon;
        FileStamp stamp;
        qint64 validUntil = 0;
    };

    QIcon refresh(const QString &path, qint64 now)
    {
        refreshIndex(now);
        const FileStamp stamp = FileStamp::of(path);
        const auto cached = m_entries.find(path);
        if (cached != m_entries.end() && cached->stamp == stamp) {
            cached->validUntil = now + m_lifetimeMs;
            return cached->icon;
        }
        QIcon icon = stamp.isFile ? iconOfProgram(path) : QIcon();
        sweepIfLarge(now);
        m_entries.insert(path, Cached{icon, stamp, now + m_lifetimeMs});
        return icon;
    }

    QIcon iconOfProgram(const QString &path) const
    {
        const QString entryIcon = m_index->iconFor(QFileInfo(path).canonicalFilePath());
        if (!entryIcon.isEmpty()) {
            QIcon icon = iconOfEntryValue(entryIcon);
            if (!icon.isNull())
                return icon;
        }
        return mimeIcon(path);
    }

    void refreshIndex(qint64 now)
    {
        if (!m_index) {
            ensureIconTheme();
            // Icons must not outlive the application that renders them.
            qAddPostRoutine(clearCache);
            m_index.emplace();
        } else if (now < m_indexCheckDue) {
            return;
        } else if (m_index->isStale()) {
            m_index.emplace();
            m_entries.clear();
        }
        m_indexCheckDue = now + indexCheckInterval();
    }

    qint64 indexCheckInterval() const { return std::max(m_lifetimeMs, minimumIndexCheckIntervalMs); }

    /// Keeps a long run of distinct paths from growing the cache without bound.
    void sweepIfLarge(qint64 now)
    {
        if (m_entries.size() < m_sweepAt)
            return;
        m_entries.removeIf([now](const auto &entry) { return entry.value().validUntil <= now; });
        m_sweepAt = std::max(minimumSweepSize, 2 * m_entries.size());
    }

    QElapsedTimer m_clock;
    qint64 m_lifetimeMs = defaultLifetimeMs;
    QHash<QString, Cached> m_entries;
    std::optional<DesktopEntryIndex> m_index;
    qint64 m_indexCheckDue = 0;
    qsizetype m_sweepAt = minimumSweepSize;
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
    return cache().lookup(path);
}

QIcon IconToPicture(const QIcon &icon) { return icon; }

void setCacheLifetime(std::chrono::milliseconds lifetime) { cache().setLifetime(lifetime.count()); }

} // namespace Lanyard::mGetFileIcon

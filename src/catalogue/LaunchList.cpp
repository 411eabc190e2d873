// SPDX-License-Identifier: MIT
#include "LaunchList.h"

#include "Catalogue.h"
#include "ListMerge.h"
#include "text/NativeText.h"
#include "util/FileLock.h"
#include "util/Raise.h"

#include <QHash>
#include <QIcon>

#include <algorithm>
#include <chrono>
#include <vector>

#include <cerrno>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Lanyard {

namespace {

// Another process holds the lock for one read or write of a list: a long wait means it hangs.
constexpr auto lockPatience = 10s;

/// False only when certainly nothing is there; what cannot even be looked at is something.
bool somethingIsAt(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(NativeText::encode(path).constData(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

/// Takes the lock, or fails the call when other processes hold it too long.
void waitForLock(const FileLock &lock, const QString &path)
{
    if (lock.timedOut())
        raiseError(ErrorCode::PathFileAccessError, u"%1 is locked by another program"_s.arg(path));
}

} // namespace

void LaunchList::open(const QString &path, Catalogue &catalogue)
{
    m_path = path;
    m_version.reset();
    m_readWhole = true;
    m_holdsAll = false;
    if (!somethingIsAt(path))
        return;
    const FileLock lock(path, FileLock::Mode::Shared, lockPatience);
    waitForLock(lock, path);
    m_readWhole = false;
    const bool wasEmpty = catalogue.groupCount() == 0;
    bool dropped = false;
    // A launch list names the same few programs many times over: each icon is looked up once.
    QHash<QString, QIcon> icons;
    QString lastPath;
    QIcon lastIcon;
    const LaunchListFile::Version read = LaunchListFile::load(path, [&](const LaunchListEntry &entry) {
        if (entry.path != lastPath) {
            auto icon = icons.constFind(entry.path);
            if (icon == icons.cend())
                icon = icons.insert(entry.path, catalogue.iconFor(entry.path));
            lastPath = entry.path;
            lastIcon = *icon;
        }
        // A refusal by a full table drops the line; later lines are still read.
        if (!catalogue.addLoaded(entry, lastIcon))
            dropped = true;
    });
    m_encoding = read.encoding;
    m_version = read.file;
    m_readWhole = true;
    m_holdsAll = wasEmpty && !dropped;
}

namespace {

/// Whether both give the same entries in the same order, as the file and a host see them.
bool sameEntries(const Catalogue &one, const Catalogue &other)
{
    std::vector<LaunchListEntry> entries;
    one.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &) { entries.push_back(entry); });
    size_t i = 0;
    bool same = one.groupCount() == other.groupCount();
    other.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &) {
        const bool equal = i < entries.size() && entries[i].group == entry.group && entries[i].name == entry.name
                           && entries[i].path == entry.path && entries[i].cmdLine == entry.cmdLine
                           && entries[i].protectedFlag == entry.protectedFlag;
        same = same && equal;
        ++i;
    });
    return same && i == entries.size();
}

} // namespace

LaunchList::Reload LaunchList::reload(Catalogue &catalogue)
{
    if (m_path.isEmpty())
        return Reload::Unchanged;
    const std::optional<FileVersion> now = FileVersion::of(m_path);
    // A removed list changes nothing: a save writes the catalogue there again.
    if (!now ? !somethingIsAt(m_path) : now == m_version)
        return Reload::Unchanged;
    std::vector<LaunchListEntry> file;
    LaunchListFile::Version read{};
    {
        const FileLock lock(m_path, FileLock::Mode::Shared, lockPatience);
        waitForLock(lock, m_path);
        read = LaunchListFile::load(m_path, [&](const LaunchListEntry &entry) { file.push_back(entry); });
    }
    // The catalogue's changes are the entries of the merge that stand for no line of the file.
    const QSet<quint64> removed = catalogue.removedOrigins();
    const std::vector<LaunchListEntry> merged = ListMerge::merge(file, catalogue);
    file.clear();
    Catalogue fresh = catalogue.emptyCopy();
    QHash<QString, QIcon> icons = catalogue.iconsByPath();
    bool dropped = false;
    for (const LaunchListEntry &entry : merged) {
        auto icon = icons.constFind(entry.path);
        if (icon == icons.cend())
            icon = icons.insert(entry.path, catalogue.iconFor(entry.path));
        if (entry.origin == 0 || removed.contains(entry.origin)) {
            if (!fresh.addChanged(entry, *icon))
                return Reload::NoRoom;
        } else if (!fresh.addReloaded(entry, *icon)) {
            dropped = true;
        }
    }
    fresh.inheritRemovals(catalogue);
    const bool same = sameEntries(fresh, catalogue);
    catalogue = std::move(fresh);
    m_encoding = read.encoding;
    m_version = read.file;
    m_readWhole = true;
    m_holdsAll = !dropped && !catalogue.hasChanges();
    return same ? Reload::Unchanged : Reload::Changed;
}

bool LaunchList::hasChangesToSave(const Catalogue &catalogue) const
{
    return !m_path.isEmpty() && catalogue.hasChanges();
}

LaunchListFile::Source LaunchList::linesOf(const Catalogue &catalogue)
{
    return [&catalogue](const LaunchListFile::LineSink &sink) {
        catalogue.forEachRecord([&](const QString &group, const ApplicationRecord &record) {
            sink({group, record.ApplicationName, record.AppPath, record.CmdLine, record.AppProtected});
        });
    };
}

void LaunchList::save(Catalogue &catalogue, const std::function<void(const LaunchListEntry &)> &written)
{
    if (!hasChangesToSave(catalogue))
        return;
    if (!m_readWhole)
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 was not written: it could not be read when it was assigned"_s.arg(m_path));
    const FileLock lock(m_path, FileLock::Mode::Exclusive, lockPatience);
    waitForLock(lock, m_path);
    lock.taken().value();
    const std::optional<FileVersion> now = FileVersion::of(m_path);
    LaunchListFile::Version saved{};
    if (now && (!m_holdsAll || now != m_version)) {
        std::vector<LaunchListEntry> file;
        const LaunchListFile::Version read = LaunchListFile::load(
            m_path, [&](const LaunchListEntry &entry) { file.push_back(entry); });
        const std::vector<LaunchListEntry> merged = ListMerge::merge(file, catalogue);
        file.clear();
        saved = LaunchListFile::save(
            m_path,
            [&merged](const LaunchListFile::LineSink &sink) {
                for (const LaunchListEntry &entry : merged)
                    sink(LaunchListFile::lineOf(entry));
            },
            read.encoding);
        m_holdsAll = false;
        if (written)
            std::for_each(merged.begin(), merged.end(), written);
    } else {
        saved = LaunchListFile::save(m_path, linesOf(catalogue), m_encoding);
        m_holdsAll = true;
        if (written)
            catalogue.forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &) { written(entry); });
    }
    m_encoding = saved.encoding;
    // After a merge the file holds lines the catalogue has not: the next reload reads them.
    m_version = m_holdsAll ? std::optional(saved.file) : std::nullopt;
    catalogue.markSaved([&](const LaunchListEntry &entry) { return LaunchListFile::identity(entry, saved.encoding); });
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include "Catalogue.h"

#include "util/Raise.h"

namespace Lanyard {

namespace {

qint16 storedFlag(bool isProtected) { return isProtected ? -1 : 0; }

} // namespace

Catalogue::Catalogue(IconSource icons)
    : m_icons(std::move(icons))
{
}

void Catalogue::setMaxGroups(qint16 count)
{
    if (count < 1 || count < m_groupCount)
        raiseIndexError();
    m_groups.resize(size_t(count));
    reindexGroups();
}

void Catalogue::setMaxApps(qint16 count)
{
    if (count < 1)
        raiseIndexError();
    for (qint16 g = 0; g < m_groupCount; ++g) {
        if (m_groups[size_t(g)].AppCount() > count)
            raiseIndexError();
    }
    for (ProgramGroup &group : m_groups)
        group.truncate(count);
    m_maxApps = count;
}

qint16 Catalogue::findGroup(const QString &name) const
{
    return m_groupNames.first(name, m_groupCount,
                              [this](qint16 g) -> const QString & { return m_groups[size_t(g)].GroupName(); });
}

qint16 Catalogue::findApp(qint16 group, const QString &name) const { return this->group(group).findApp(name); }

void Catalogue::checkGroup(qint16 group) const
{
    if (group < 0 || group >= maxGroups())
        raiseIndexError();
}

void Catalogue::checkSlot(qint16 group, qint16 app) const
{
    checkGroup(group);
    if (app < 0 || app >= m_maxApps)
        raiseIndexError();
}

const ProgramGroup &Catalogue::group(qint16 group) const
{
    checkGroup(group);
    return m_groups[size_t(group)];
}

const ApplicationRecord &Catalogue::app(qint16 group, qint16 app) const
{
    checkSlot(group, app);
    return m_groups[size_t(group)].app(app);
}

bool Catalogue::isInUse(qint16 group, qint16 app) const
{
    return group >= 0 && group < m_groupCount && app >= 0 && app < m_groups[size_t(group)].AppCount();
}

void Catalogue::recordChange(qint16 group, qint16 app)
{
    if (!isInUse(group, app))
        return;
    m_groups[size_t(group)].writable(app).changed = true;
    m_hasChanges = true;
}

void Catalogue::forget(const ApplicationRecord &record)
{
    m_hasChanges = true;
    if (record.origin == 0)
        return;
    m_deleted.insert(record.origin);
    for (const quint64 line : m_absorbed.take(record.origin))
        m_deleted.insert(line);
}

void Catalogue::setGroupName(qint16 group, const QString &name)
{
    checkGroup(group);
    ProgramGroup &slot = m_groups[size_t(group)];
    m_groupNames.remove(slot.m_name, group);
    slot.m_name = name;
    m_groupNames.insert(name, group);
    // Renaming a group moves each of its applications to another name.
    for (qint16 a = 0; a < slot.AppCount(); ++a)
        recordChange(group, a);
}

void Catalogue::setApplicationName(qint16 group, qint16 app, const QString &name)
{
    groupForWrite(group, app).setApplicationName(app, name);
    recordChange(group, app);
}

void Catalogue::setAppPath(qint16 group, qint16 app, const QString &path)
{
    groupForWrite(group, app).setAppPath(app, path);
    recordChange(group, app);
}

void Catalogue::setCmdLine(qint16 group, qint16 app, const QString &cmdLine)
{
    groupForWrite(group, app).setCmdLine(app, cmdLine);
    recordChange(group, app);
}

void Catalogue::setAppProtected(qint16 group, qint16 app, qint16 value)
{
    groupForWrite(group, app).setAppProtected(app, value);
    recordChange(group, app);
}

ProgramGroup &Catalogue::groupForWrite(qint16 group, qint16 app)
{
    checkSlot(group, app);
    return m_groups[size_t(group)];
}

QIcon Catalogue::iconFor(const QString &path) const { return m_icons ? m_icons(path) : QIcon(); }

ApplicationRecord Catalogue::makeRecord(const QString &name, const QString &path, const QString &cmdLine,
                                        bool isProtected) const
{
    return ApplicationRecord{name, path, cmdLine, iconFor(path), storedFlag(isProtected), true, 0};
}

bool Catalogue::addApp(const QString &group, const QString &name, const QString &path, const QString &cmdLine,
                       bool isProtected)
{
    const qint16 g = findGroup(group);
    if (g == -1) {
        if (m_groupCount >= maxGroups())
            return false;
        appendGroup(group, makeRecord(name, path, cmdLine, isProtected));
        m_hasChanges = true;
        return true;
    }
    ProgramGroup &slots = groupForWrite(g, 0);
    if (const qint16 a = slots.findApp(name); a != -1) {
        // An update keeps the name and the protected flag.
        slots.setAppPath(a, path);
        slots.setCmdLine(a, cmdLine);
        slots.setIcon(a, iconFor(path));
        recordChange(g, a);
        return true;
    }
    if (slots.AppCount() >= m_maxApps)
        return false;
    slots.append(makeRecord(name, path, cmdLine, isProtected));
    m_hasChanges = true;
    return true;
}

void Catalogue::deleteApp(qint16 group, qint16 app)
{
    checkSlot(group, app);
    // Slots inside the table but not in use hold no entry to delete: nothing happens, so the
    // counts never go negative and no entry in use is lost.
    if (group >= m_groupCount || app >= m_groups[size_t(group)].AppCount())
        return;
    ProgramGroup &slots = m_groups[size_t(group)];
    forget(slots.app(app));
    slots.remove(app);
    if (slots.AppCount() == 0)
        removeGroup(group);
}

void Catalogue::editApp(qint16 group, qint16 app, const QString &newGroup, const QString &newName, bool isProtected,
                        const QString &path, const QString &cmdLine)
{
    ProgramGroup &slots = groupForWrite(group, app);
    if (newGroup != slots.GroupName()) {
        // addApp only appends, so the old indexes stay valid for the delete.
        if (addApp(newGroup, newName, path, cmdLine, isProtected))
            deleteApp(group, app);
        return;
    }
    slots.setApplicationName(app, newName);
    slots.setAppPath(app, path);
    slots.setCmdLine(app, cmdLine);
    slots.setIcon(app, iconFor(path));
    slots.setAppProtected(app, storedFlag(isProtected));
    recordChange(group, app);
}

bool Catalogue::place(const LaunchListEntry &entry, const QIcon &icon, Placing how)
{
    const bool changed = how == Placing::Changed;
    const qint16 g = findGroup(entry.group);
    ApplicationRecord record{entry.name, entry.path, entry.cmdLine, icon, entry.protectedFlag, changed, entry.origin};
    if (g == -1) {
        if (m_groupCount >= maxGroups())
            return false;
        appendGroup(entry.group, std::move(record));
        m_hasChanges = m_hasChanges || changed;
        return true;
    }
    ProgramGroup &slots = m_groups[size_t(g)];
    const qint16 a = slots.findApp(entry.name);
    // A change not yet saved keeps its own values and its own line to replace.
    const bool joins = a != -1 && (how == Placing::Loaded || (how == Placing::Reloaded && !slots.app(a).changed));
    if (joins) {
        // As addApp: the name and the protected flag stay; the record now stands for both lines.
        ApplicationRecord &known = slots.writable(a);
        known.AppPath = entry.path;
        known.CmdLine = entry.cmdLine;
        known.Icon = icon;
        if (known.origin != 0)
            m_absorbed[known.origin].append(entry.origin);
        return true;
    }
    if (slots.AppCount() >= m_maxApps)
        return false;
    slots.append(std::move(record));
    m_hasChanges = m_hasChanges || changed;
    return true;
}

Catalogue Catalogue::emptyCopy() const
{
    Catalogue copy(m_icons);
    copy.setMaxGroups(maxGroups());
    copy.setMaxApps(m_maxApps);
    return copy;
}

void Catalogue::inheritRemovals(const Catalogue &before)
{
    m_deleted.unite(before.m_deleted);
    m_hasChanges = m_hasChanges || before.m_hasChanges;
    for (qint16 g = 0; g < m_groupCount; ++g) {
        const ProgramGroup &slots = m_groups[size_t(g)];
        for (qint16 a = 0; a < slots.AppCount(); ++a) {
            const ApplicationRecord &record = slots.app(a);
            const auto lines = before.m_absorbed.constFind(record.origin);
            if (record.changed && record.origin != 0 && lines != before.m_absorbed.cend())
                m_absorbed[record.origin].append(*lines);
        }
    }
}

QHash<QString, QIcon> Catalogue::iconsByPath() const
{
    QHash<QString, QIcon> icons;
    forEachEntry(
        [&](const LaunchListEntry &entry, const ApplicationRecord &record) { icons.insert(entry.path, record.Icon); });
    return icons;
}

QSet<quint64> Catalogue::removedOrigins() const
{
    QSet<quint64> removed = m_deleted;
    for (qint16 g = 0; g < m_groupCount; ++g) {
        const ProgramGroup &slots = m_groups[size_t(g)];
        for (qint16 a = 0; a < slots.AppCount(); ++a) {
            const ApplicationRecord &record = slots.app(a);
            if (!record.changed || record.origin == 0)
                continue;
            removed.insert(record.origin);
            for (const quint64 line : m_absorbed.value(record.origin))
                removed.insert(line);
        }
    }
    return removed;
}

QSet<quint64> Catalogue::knownOrigins() const
{
    QSet<quint64> known = m_deleted;
    for (auto it = m_absorbed.cbegin(); it != m_absorbed.cend(); ++it) {
        known.insert(it.key());
        for (const quint64 line : *it)
            known.insert(line);
    }
    forEachEntry([&](const LaunchListEntry &entry, const ApplicationRecord &) { known.insert(entry.origin); });
    known.remove(0);
    return known;
}

void Catalogue::markSaved(const std::function<quint64(const LaunchListEntry &)> &identity)
{
    QHash<quint64, QList<quint64>> absorbed;
    for (qint16 g = 0; g < m_groupCount; ++g) {
        ProgramGroup &slots = m_groups[size_t(g)];
        for (qint16 a = 0; a < slots.AppCount(); ++a) {
            ApplicationRecord &record = slots.writable(a);
            // Lines of one group and name stay in a merged file only beside unchanged entries.
            const bool keepsLines = !record.changed && record.origin != 0 && m_absorbed.contains(record.origin);
            const quint64 before = record.origin;
            record.origin = record.AppPath.isEmpty() && record.CmdLine.isEmpty()
                                ? 0
                                : identity({slots.GroupName(), record.ApplicationName, record.AppPath, record.CmdLine,
                                            record.AppProtected, record.origin});
            record.changed = false;
            if (keepsLines)
                absorbed.insert(record.origin, m_absorbed.value(before));
        }
    }
    m_absorbed = std::move(absorbed);
    m_deleted.clear();
    m_hasChanges = false;
}

void Catalogue::appendGroup(const QString &name, ApplicationRecord first)
{
    const qint16 index = m_groupCount;
    ProgramGroup &slot = m_groups[size_t(index)];
    setGroupName(index, name);
    // A slot vacated by an earlier removal still holds its old records; the new group takes
    // slot 0 and counts only what it adds.
    slot.m_appCount = 0;
    slot.append(std::move(first));
    ++m_groupCount;
}

void Catalogue::removeGroup(qint16 group)
{
    const qint16 last = m_groupCount - 1;
    for (qint16 j = group; j < last; ++j) {
        if (j + 1 == last)
            m_groups[size_t(j)] = m_groups[size_t(j + 1)];
        else
            m_groups[size_t(j)] = std::move(m_groups[size_t(j + 1)]);
    }
    --m_groupCount;
    reindexGroups();
}

void Catalogue::reindexGroups()
{
    m_groupNames.clear();
    for (size_t g = 0; g < m_groups.size(); ++g) {
        if (!m_groups[g].GroupName().isEmpty() || g < size_t(m_groupCount))
            m_groupNames.insert(m_groups[g].GroupName(), qint16(g));
    }
}

} // namespace Lanyard

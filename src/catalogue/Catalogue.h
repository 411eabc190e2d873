// SPDX-License-Identifier: MIT
#pragma once

#include "LaunchListEntry.h"
#include "NameIndex.h"
#include "ProgramGroup.h"

#include <QIcon>
#include <QString>

#include <QHash>
#include <QList>
#include <QSet>

#include <functional>
#include <optional>
#include <vector>

namespace Lanyard {

/**
 * The group table of an ExternalApps object: MaxGroups group slots, each with an application
 * table of MaxApps slots, and the operations that add, edit and delete applications. Slot
 * numbers are checked against the table sizes (not the counts in use); an index outside a
 * table throws ComponentError(IndexOutOfRange) and changes nothing.
 *
 * Every group slot always has an application table of MaxApps slots, also slots added by
 * raising MaxGroups. A limit can not be lowered below what is in use.
 */
class Catalogue
{
public:
    /// Gives the icon of a program path whenever a record is stored.
    using IconSource = std::function<QIcon(const QString &path)>;

    /// A catalogue whose records get their icons from @p icons (none: null icons).
    explicit Catalogue(IconSource icons = {});

    qint16 maxGroups() const { return qint16(m_groups.size()); }
    qint16 maxApps() const { return m_maxApps; }
    void setMaxGroups(qint16 count);
    void setMaxApps(qint16 count);

    qint16 groupCount() const { return m_groupCount; }

    /// Index of the first group in use named exactly @p name, or -1.
    qint16 findGroup(const QString &name) const;
    /// Index of the first application in use named exactly @p name in the group at @p group
    /// (which must lie inside the group table), or -1.
    qint16 findApp(qint16 group, const QString &name) const;

    /// Throws IndexOutOfRange unless @p group lies inside the group table.
    const ProgramGroup &group(qint16 group) const;
    /// Throws IndexOutOfRange unless both lie inside their tables.
    const ApplicationRecord &app(qint16 group, qint16 app) const;
    void checkSlot(qint16 group, qint16 app) const;

    // One field of one slot; slots outside the part in use are written too, without a change
    // to the launch list. Each throws IndexOutOfRange for a slot outside its table.
    void setGroupName(qint16 group, const QString &name);
    void setApplicationName(qint16 group, qint16 app, const QString &name);
    void setAppPath(qint16 group, qint16 app, const QString &path);
    void setCmdLine(qint16 group, qint16 app, const QString &cmdLine);
    void setAppProtected(qint16 group, qint16 app, qint16 value);

    /**
     * Adds an application, creating its group when no group in use has that name, or updates
     * the path, command line and icon of the one of that name (its name and protected flag
     * stay). False, changing nothing, when a new group or application finds its table full.
     */
    bool addApp(const QString &group, const QString &name, const QString &path, const QString &cmdLine,
                bool isProtected);

    /// Deletes the application in use at (@p group, @p app): later ones move down, and the
    /// group goes when this was its last application. A slot not in use: nothing happens.
    void deleteApp(qint16 group, qint16 app);

    /**
     * Changes the application in use at (@p group, @p app): in place when @p newGroup is the
     * group's own name (its icon taken again), else moved by addApp into @p newGroup and
     * deleted from its old group; a move that addApp refuses changes nothing.
     */
    void editApp(qint16 group, qint16 app, const QString &newGroup, const QString &newName, bool isProtected,
                 const QString &path, const QString &cmdLine);

    /**
     * Adds an entry read from the launch list: as addApp does (a second line of one group and
     * name updates the first one's path, command line and icon), but as an entry the list
     * already holds, not as a change. False when a table is full.
     */
    bool addLoaded(const LaunchListEntry &entry, const QIcon &icon) { return place(entry, icon, Placing::Loaded); }
    /// Adds a line of the file read again: as addLoaded, but an entry of its group and name that
    /// is a change not yet saved stays as it is, beside it. False when a table is full.
    bool addReloaded(const LaunchListEntry &entry, const QIcon &icon) { return place(entry, icon, Placing::Reloaded); }
    /// Adds one of this catalogue's own changes not yet saved, as a change and always as an entry
    /// of its own, as it was (two entries of one group may share a name). False when a table is
    /// full.
    bool addChanged(const LaunchListEntry &entry, const QIcon &icon) { return place(entry, icon, Placing::Changed); }
    /// An empty catalogue of the same limits and icon source.
    Catalogue emptyCopy() const;
    /// After this catalogue was filled from a merge of the file read again with @p before's
    /// changes: the lines that @p before's deletions and changes remove from the file are
    /// removed by this one's too, so that its save does what @p before's would have.
    void inheritRemovals(const Catalogue &before);
    /// The icon each program path of an entry in use has, to spare looking them up again.
    QHash<QString, QIcon> iconsByPath() const;
    /// The icon the catalogue gives a record of @p path.
    QIcon iconFor(const QString &path) const;

    /// Whether anything changed since the launch list was last read or written.
    bool hasChanges() const { return m_hasChanges; }
    /// The lines of the launch list that a save must not keep: those of deleted entries and
    /// those that changed entries replace.
    QSet<quint64> removedOrigins() const;
    /// Every line of the launch list this catalogue stands for, kept or removed: a line of the
    /// file that is none of these is another writer's.
    QSet<quint64> knownOrigins() const;

    /// Calls @p visit(group name, record) for every entry the launch list gets, in order. Two
    /// groups of one name are both written with the first one's count.
    template<typename Visit>
    void forEachRecord(Visit visit) const
    {
        for (qint16 g = 0; g < m_groupCount; ++g) {
            const ProgramGroup &slots = m_groups[size_t(g)];
            const qint16 count = m_groups[size_t(findGroup(slots.GroupName()))].AppCount();
            for (qint16 a = 0; a < count; ++a) {
                const ApplicationRecord &record = slots.app(a);
                if (!record.AppPath.isEmpty() || !record.CmdLine.isEmpty())
                    visit(slots.GroupName(), record);
            }
        }
    }

    /// As forEachRecord, calling @p write(entry, record) with the entry the record stands for.
    template<typename Write>
    void forEachEntry(Write write) const
    {
        forEachRecord([&](const QString &group, const ApplicationRecord &record) {
            write(LaunchListEntry{group, record.ApplicationName, record.AppPath, record.CmdLine, record.AppProtected,
                                  record.origin},
                  record);
        });
    }

    /// After a save: every written entry's line is the one @p identity gives, and nothing is
    /// a change any more.
    void markSaved(const std::function<quint64(const LaunchListEntry &)> &identity);

    /// Whether (group, app) is an entry: a slot within both counts.
    bool isInUse(qint16 group, qint16 app) const;

private:
    enum class Placing { Loaded, Reloaded, Changed };
    bool place(const LaunchListEntry &entry, const QIcon &icon, Placing how);
    void checkGroup(qint16 group) const;
    /// Marks the entry in the slot (group, app) as changed, when the slot is in use.
    void recordChange(qint16 group, qint16 app);
    /// Notes that the lines of @p record go with it.
    void forget(const ApplicationRecord &record);
    ProgramGroup &groupForWrite(qint16 group, qint16 app);
    void reindexGroups();
    ApplicationRecord makeRecord(const QString &name, const QString &path, const QString &cmdLine,
                                 bool isProtected) const;
    /// Appends a new group holding @p first; the caller has checked the limit.
    void appendGroup(const QString &name, ApplicationRecord first);
    /// Removes the group in use at @p group: later groups move down one slot, and the slot
    /// vacated at the end keeps what it held.
    void removeGroup(qint16 group);

    IconSource m_icons;
    std::vector<ProgramGroup> m_groups;
    qint16 m_maxApps = 0;
    qint16 m_groupCount = 0;
    NameIndex m_groupNames;
    bool m_hasChanges = false;
    QSet<quint64> m_deleted;                   // lines of deleted entries
    QHash<quint64, QList<quint64>> m_absorbed; // later lines of one group and name, by the first's
};

} // namespace Lanyard

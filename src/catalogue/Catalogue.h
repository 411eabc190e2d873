#pragma once

#include "ChangeLog.h"
#include "NameIndex.h"
#include "ProgramGroup.h"

#include <QIcon>
#include <QString>

#include <QHash>

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

    /// The entries changed since the last clearChanges(), for the save of the launch list.
    const ChangeLog &changes() const { return m_changes; }
    void clearChanges() { m_changes.clear(); }
    /// Whether changes are recorded: not while a load fills the catalogue from the file.
    void setRecordingChanges(bool recording) { m_changes.setPaused(!recording); }
    /// While on, each program path's icon is looked up once and given to every record of that
    /// path: a launch list names the same few programs many times over.
    void setSharingIcons(bool sharing);

private:
    void checkGroup(qint16 group) const;
    bool isInUse(qint16 group, qint16 app) const;
    /// Records the entry in the slot (group, app) as changed, when the slot is in use.
    void recordChange(qint16 group, qint16 app);
    ProgramGroup &groupForWrite(qint16 group, qint16 app);
    void reindexGroups();
    ApplicationRecord makeRecord(const QString &name, const QString &path, const QString &cmdLine,
                                 bool isProtected) const;
    QIcon iconOf(const QString &path) const;
    /// Appends a new group holding @p first; the caller has checked the limit.
    void appendGroup(const QString &name, ApplicationRecord first);
    /// Removes the group in use at @p group: later groups move down one slot, and the slot
    /// vacated at the end keeps what it held.
    void removeGroup(qint16 group);

    IconSource m_icons;
    mutable std::optional<QHash<QString, QIcon>> m_sharedIcons;
    std::vector<ProgramGroup> m_groups;
    qint16 m_maxApps = 0;
    qint16 m_groupCount = 0;
    NameIndex m_groupNames;
    ChangeLog m_changes;
};

} // namespace Lanyard

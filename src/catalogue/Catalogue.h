#pragma once

#include "ProgramGroup.h"

#include <QMultiHash>
#include <QString>

#include <vector>

namespace Lanyard {

/**
 * The group table of an ExternalApps object: MaxGroups group slots, each with an application
 * table of MaxApps slots. Slot numbers are checked against the table sizes (not the counts in
 * use); an index outside a table throws ComponentError(IndexOutOfRange) and changes nothing.
 *
 * Every group slot always has an application table of MaxApps slots, also slots added by
 * raising MaxGroups. A limit can not be lowered below what is in use.
 */
class Catalogue
{
public:
    Catalogue();

    qint16 maxGroups() const { return qint16(m_groups.size()); }
    qint16 maxApps() const { return m_maxApps; }
    void setMaxGroups(qint16 count);
    void setMaxApps(qint16 count);

    qint16 groupCount() const { return m_groupCount; }

    /// Index of the first group in use named exactly @p name, or -1.
    qint16 findGroup(const QString &name) const;

    /// Throws IndexOutOfRange unless @p group lies inside the group table.
    const ProgramGroup &group(qint16 group) const;
    /// Throws IndexOutOfRange unless both lie inside their tables.
    const ApplicationRecord &app(qint16 group, qint16 app) const;
    void checkSlot(qint16 group, qint16 app) const;

    void setGroupName(qint16 group, const QString &name);
    ProgramGroup &groupForWrite(qint16 group, qint16 app);

    /// Appends a new group holding @p first; the caller has checked the limit.
    void appendGroup(const QString &name, ApplicationRecord first);

    /// Removes the group in use at @p group: later groups move down one slot, and the slot
    /// vacated at the end keeps what it held.
    void removeGroup(qint16 group);

private:
    void checkGroup(qint16 group) const;
    void reindexGroups();

    std::vector<ProgramGroup> m_groups;
    qint16 m_maxApps = 0;
    qint16 m_groupCount = 0;
    QMultiHash<QString, qint16> m_groupNames;
};

} // namespace Lanyard

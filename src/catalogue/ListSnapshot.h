#pragma once

#include "ApplicationRecord.h"
#include "ChangeLog.h"
#include "LaunchListEntry.h"

#include <QHash>
#include <QString>

#include <vector>

namespace Lanyard {

class Catalogue;

/**
 * The entries of a launch list file as a load gives them, without a catalogue's limits:
 * groups in the order of their first line, applications in the order of theirs; a line whose
 * group and name are already there updates that entry's path and command line. A save that
 * finds the file changed since its catalogue was read takes the catalogue's changed entries
 * into a snapshot of the file as it is now, and writes that: both sides' changes survive.
 */
class ListSnapshot
{
public:
    void add(const LaunchListEntry &entry);

    /// Makes the entry @p key what it is in @p catalogue: gone when the catalogue holds no such
    /// entry in use; else with the catalogue's fields, appended to its group (or as a new group
    /// at the end) when it is new here.
    void takeFrom(const Catalogue &catalogue, const ChangeLog::Key &key);

    /// Calls @p write(group name, record) for every entry, in file order.
    template<typename Write>
    void forEachEntry(Write write) const
    {
        for (const Group &group : m_groups) {
            for (const ApplicationRecord &app : group.apps)
                write(group.name, app);
        }
    }

private:
    struct Group
    {
        QString name;
        std::vector<ApplicationRecord> apps;
        QHash<QString, qsizetype> index; // first application of each name
    };

    Group &groupNamed(const QString &name);
    ApplicationRecord *find(const ChangeLog::Key &key);
    void remove(const ChangeLog::Key &key);
    static void reindex(Group &group);

    std::vector<Group> m_groups;
    QHash<QString, qsizetype> m_groupIndex;
};

} // namespace Lanyard

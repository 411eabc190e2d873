// SPDX-License-Identifier: MIT
#pragma once

#include "ApplicationRecord.h"
#include "NameIndex.h"

#include <QString>

#include <map>
#include <vector>

namespace Lanyard {

/**
 * One group slot: its name, its count of applications in use and its application slots.
 * Only slots that hold something cost memory: slots up to the highest one in use are kept in
 * a vector, slots written beyond it in a map. Names are indexed so that look-ups do not scan.
 * Slot numbers are checked against the table size by the Catalogue, not here.
 */
class ProgramGroup
{
public:
    const QString &GroupName() const { return m_name; }
    qint16 AppCount() const { return m_appCount; }

    /// The record in @p slot; an empty record for a slot that never held anything.
    const ApplicationRecord &app(qint16 slot) const;

    /// Index of the first application in use named exactly @p name, or -1.
    qint16 findApp(const QString &name) const;

    void setApplicationName(qint16 slot, const QString &name);
    void setAppPath(qint16 slot, const QString &path) { writable(slot).AppPath = path; }
    void setCmdLine(qint16 slot, const QString &cmdLine) { writable(slot).CmdLine = cmdLine; }
    void setAppProtected(qint16 slot, qint16 value) { writable(slot).AppProtected = value; }
    void setIcon(qint16 slot, const QIcon &icon) { writable(slot).Icon = icon; }

    /// Stores @p record in the slot at AppCount and counts it in.
    void append(ApplicationRecord record);

    /// Closes the gap at @p slot (in use): later records move down, the last slot in use is
    /// reset and AppCount shrinks by one.
    void remove(qint16 slot);

    /// Discards every slot at or beyond @p tableSize.
    void truncate(qint16 tableSize);

private:
    friend class Catalogue;

    ApplicationRecord &writable(qint16 slot);
    void store(qint16 slot, ApplicationRecord record);
    void unindex(qint16 slot);
    void reindex();
    void trimTrailingEmptySlots();

    QString m_name;
    qint16 m_appCount = 0;
    std::vector<ApplicationRecord> m_slots;       // slots 0 .. size-1
    std::map<qint16, ApplicationRecord> m_beyond; // written slots at or past m_slots.size()
    NameIndex m_names;
};

} // namespace Lanyard

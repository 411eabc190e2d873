#pragma once

#include <QMultiHash>
#include <QString>

namespace Lanyard {

/**
 * The names of a table's slots, indexed so that a look-up does not scan the table. Several
 * slots may hold one name; a look-up finds the lowest of those in use.
 */
class NameIndex
{
public:
    void insert(const QString &name, qint16 slot) { m_slots.insert(name, slot); }
    void remove(const QString &name, qint16 slot) { m_slots.remove(name, slot); }
    void clear() { m_slots.clear(); }

    /// The lowest slot below @p inUse named exactly @p name (case-sensitive), or -1.
    qint16 first(const QString &name, qint16 inUse) const;

private:
    QMultiHash<QString, qint16> m_slots;
};

} // namespace Lanyard

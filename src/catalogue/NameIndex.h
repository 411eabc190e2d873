#pragma once

#include <QString>

#include <vector>

namespace Lanyard {

/**
 * The names of a table's slots, indexed so that a look-up does not scan the table. Several
 * slots may hold one name; a look-up finds the lowest of those in use. Each slot is indexed
 * under one name at a time.
 *
 * It holds no names, only a short hash and the slot of each (4 bytes), in one open-addressed
 * table: a list of a million entries would otherwise spend more on its index than on its names.
 * A look-up compares the names of the slots whose hash matches, through the table's owner.
 */
class NameIndex
{
public:
    void insert(const QString &name, qint16 slot);
    void remove(const QString &name, qint16 slot);
    void clear();

    /// The lowest slot below @p inUse named exactly @p name (case-sensitive), or -1;
    /// @p nameOf(slot) gives the name a slot holds.
    template<typename NameOf>
    qint16 first(const QString &name, qint16 inUse, NameOf nameOf) const
    {
        qint16 first = -1;
        if (m_table.empty())
            return first;
        const quint16 hash = hashOf(name);
        for (size_t i = hash & mask(); m_table[i].slot >= 0; i = (i + 1) & mask()) {
            const Entry &entry = m_table[i];
            if (entry.hash == hash && entry.slot < inUse && (first < 0 || entry.slot < first) && nameOf(entry.slot) == name)
                first = entry.slot;
        }
        return first;
    }

private:
    struct Entry
    {
        quint16 hash = 0;
        qint16 slot = -1; // -1: free
    };

    static quint16 hashOf(const QString &name);
    size_t mask() const { return m_table.size() - 1; }
    void grow();

    std::vector<Entry> m_table; // a power of two in size, at most three quarters used
    size_t m_used = 0;
};

} // namespace Lanyard

#include "NameIndex.h"

#include <QHash>

namespace Lanyard {

quint16 NameIndex::hashOf(const QString &name)
{
    const size_t hash = qHash(name, 0);
    return quint16(hash ^ (hash >> 16) ^ (hash >> 32) ^ (hash >> 48));
}

void NameIndex::insert(const QString &name, qint16 slot)
{
    if ((m_used + 1) * 4 > m_table.size() * 3)
        grow();
    const quint16 hash = hashOf(name);
    size_t i = hash & mask();
    while (m_table[i].slot >= 0)
        i = (i + 1) & mask();
    m_table[i] = {hash, slot};
    ++m_used;
}

void NameIndex::remove(const QString &name, qint16 slot)
{
    if (m_table.empty())
        return;
    const quint16 hash = hashOf(name);
    size_t i = hash & mask();
    while (m_table[i].slot >= 0 && !(m_table[i].slot == slot && m_table[i].hash == hash))
        i = (i + 1) & mask();
    if (m_table[i].slot < 0)
        return;
    // Later entries of the run move back into the gap when their home allows it, so that
    // every entry stays reachable from its home without markers for removed ones.
    for (size_t j = (i + 1) & mask(); m_table[j].slot >= 0; j = (j + 1) & mask()) {
        const size_t home = m_table[j].hash & mask();
        const bool homeBetween = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (!homeBetween) {
            m_table[i] = m_table[j];
            i = j;
        }
    }
    m_table[i] = Entry{};
    --m_used;
}

void NameIndex::clear()
{
    m_table.clear();
    m_used = 0;
}

void NameIndex::grow()
{
    std::vector<Entry> old = std::move(m_table);
    m_table.assign(old.empty() ? 8 : old.size() * 2, Entry{});
    m_used = 0;
    for (const Entry &entry : old) {
        if (entry.slot < 0)
            continue;
        size_t i = entry.hash & mask();
        while (m_table[i].slot >= 0)
            i = (i + 1) & mask();
        m_table[i] = entry;
        ++m_used;
    }
}

} // namespace Lanyard

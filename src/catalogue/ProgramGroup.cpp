#include "ProgramGroup.h"

#include <algorithm>

namespace Lanyard {

namespace {

const ApplicationRecord emptyRecord;

} // namespace

const ApplicationRecord &ProgramGroup::app(qint16 slot) const
{
    if (slot < qint16(m_slots.size()))
        return m_slots[size_t(slot)];
    const auto it = m_beyond.find(slot);
    return it == m_beyond.end() ? emptyRecord : it->second;
}

qint16 ProgramGroup::findApp(const QString &name) const
{
    return m_names.first(name, m_appCount, [this](qint16 slot) -> const QString & { return app(slot).ApplicationName; });
}

void ProgramGroup::setApplicationName(qint16 slot, const QString &name)
{
    unindex(slot);
    writable(slot).ApplicationName = name;
    m_names.insert(name, slot);
}

ApplicationRecord &ProgramGroup::writable(qint16 slot)
{
    if (slot < qint16(m_slots.size()))
        return m_slots[size_t(slot)];
    return m_beyond[slot];
}

void ProgramGroup::store(qint16 slot, ApplicationRecord record)
{
    unindex(slot);
    m_names.insert(record.ApplicationName, slot);
    writable(slot) = std::move(record);
}

void ProgramGroup::append(ApplicationRecord record)
{
    const qint16 slot = m_appCount;
    if (slot >= qint16(m_slots.size())) {
        // Keep the slots in use contiguous in the vector.
        const auto it = m_beyond.find(slot);
        if (it != m_beyond.end()) {
            m_slots.push_back(std::move(it->second));
            m_beyond.erase(it);
        } else {
            m_slots.emplace_back();
        }
    }
    store(slot, std::move(record));
    ++m_appCount;
}

void ProgramGroup::remove(qint16 slot)
{
    const auto begin = m_slots.begin();
    std::move(begin + slot + 1, begin + m_appCount, begin + slot);
    m_slots[size_t(m_appCount - 1)] = ApplicationRecord();
    --m_appCount;
    trimTrailingEmptySlots();
    reindex();
}

void ProgramGroup::truncate(qint16 tableSize)
{
    if (qint16(m_slots.size()) > tableSize)
        m_slots.resize(size_t(tableSize));
    m_beyond.erase(m_beyond.lower_bound(tableSize), m_beyond.end());
    reindex();
}

void ProgramGroup::unindex(qint16 slot)
{
    const ApplicationRecord &old = app(slot);
    m_names.remove(old.ApplicationName, slot);
}

void ProgramGroup::reindex()
{
    m_names.clear();
    for (size_t i = 0; i < m_slots.size(); ++i)
        m_names.insert(m_slots[i].ApplicationName, qint16(i));
    for (const auto &[slot, record] : m_beyond)
        m_names.insert(record.ApplicationName, slot);
}

void ProgramGroup::trimTrailingEmptySlots()
{
    while (qint16(m_slots.size()) > m_appCount && m_slots.back().isEmpty())
        m_slots.pop_back();
}

} // namespace Lanyard

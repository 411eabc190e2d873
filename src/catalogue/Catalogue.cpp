#include "Catalogue.h"

#include <Lanyard/ComponentError.h>

#include <algorithm>

namespace Lanyard {

namespace {

[[noreturn]] void indexError() { throw ComponentError(ErrorCode::IndexOutOfRange); }

} // namespace

Catalogue::Catalogue() = default;

void Catalogue::setMaxGroups(qint16 count)
{
    if (count < 1 || count < m_groupCount)
        indexError();
    m_groups.resize(size_t(count));
    reindexGroups();
}

void Catalogue::setMaxApps(qint16 count)
{
    if (count < 1)
        indexError();
    for (qint16 g = 0; g < m_groupCount; ++g) {
        if (m_groups[size_t(g)].AppCount() > count)
            indexError();
    }
    for (ProgramGroup &group : m_groups)
        group.truncate(count);
    m_maxApps = count;
}

qint16 Catalogue::findGroup(const QString &name) const
{
    qint16 first = -1;
    for (auto [it, end] = m_groupNames.equal_range(name); it != end; ++it) {
        if (*it < m_groupCount && (first < 0 || *it < first))
            first = *it;
    }
    return first;
}

void Catalogue::checkGroup(qint16 group) const
{
    if (group < 0 || group >= maxGroups())
        indexError();
}

void Catalogue::checkSlot(qint16 group, qint16 app) const
{
    checkGroup(group);
    if (app < 0 || app >= m_maxApps)
        indexError();
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

void Catalogue::setGroupName(qint16 group, const QString &name)
{
    checkGroup(group);
    ProgramGroup &slot = m_groups[size_t(group)];
    m_groupNames.remove(slot.m_name, group);
    slot.m_name = name;
    m_groupNames.insert(name, group);
}

ProgramGroup &Catalogue::groupForWrite(qint16 group, qint16 app)
{
    checkSlot(group, app);
    return m_groups[size_t(group)];
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

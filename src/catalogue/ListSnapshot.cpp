#include "ListSnapshot.h"

#include "Catalogue.h"

namespace Lanyard {

ListSnapshot::Group &ListSnapshot::groupNamed(const QString &name)
{
    const auto found = m_groupIndex.constFind(name);
    if (found != m_groupIndex.cend())
        return m_groups[size_t(*found)];
    m_groupIndex.insert(name, qsizetype(m_groups.size()));
    m_groups.push_back(Group{name, {}, {}});
    return m_groups.back();
}

ApplicationRecord *ListSnapshot::find(const ChangeLog::Key &key)
{
    const auto group = m_groupIndex.constFind(key.first);
    if (group == m_groupIndex.cend())
        return nullptr;
    Group &slots = m_groups[size_t(*group)];
    const auto app = slots.index.constFind(key.second);
    return app == slots.index.cend() ? nullptr : &slots.apps[size_t(*app)];
}

void ListSnapshot::add(const LaunchListEntry &entry)
{
    if (ApplicationRecord *known = find({entry.group, entry.name})) {
        // As a load does: the name and the protected flag stay.
        known->AppPath = entry.path;
        known->CmdLine = entry.cmdLine;
        return;
    }
    Group &group = groupNamed(entry.group);
    group.index.insert(entry.name, qsizetype(group.apps.size()));
    group.apps.push_back(ApplicationRecord{entry.name, entry.path, entry.cmdLine, QIcon(),
                                           qint16(entry.isProtected ? -1 : 0)});
}

void ListSnapshot::takeFrom(const Catalogue &catalogue, const ChangeLog::Key &key)
{
    const qint16 group = catalogue.findGroup(key.first);
    const qint16 app = group == -1 ? qint16(-1) : catalogue.findApp(group, key.second);
    if (app == -1) {
        remove(key);
        return;
    }
    const ApplicationRecord &ours = catalogue.app(group, app);
    if (ApplicationRecord *theirs = find(key)) {
        theirs->AppPath = ours.AppPath;
        theirs->CmdLine = ours.CmdLine;
        theirs->AppProtected = ours.AppProtected;
        return;
    }
    Group &target = groupNamed(key.first);
    target.index.insert(key.second, qsizetype(target.apps.size()));
    target.apps.push_back(ApplicationRecord{key.second, ours.AppPath, ours.CmdLine, QIcon(), ours.AppProtected});
}

void ListSnapshot::remove(const ChangeLog::Key &key)
{
    const auto group = m_groupIndex.constFind(key.first);
    if (group == m_groupIndex.cend())
        return;
    const qsizetype g = *group;
    Group &slots = m_groups[size_t(g)];
    const auto app = slots.index.constFind(key.second);
    if (app == slots.index.cend())
        return;
    slots.apps.erase(slots.apps.begin() + *app);
    reindex(slots);
    if (!slots.apps.empty())
        return;
    m_groups.erase(m_groups.begin() + g);
    m_groupIndex.clear();
    for (size_t i = 0; i < m_groups.size(); ++i)
        m_groupIndex.insert(m_groups[i].name, qsizetype(i));
}

void ListSnapshot::reindex(Group &group)
{
    group.index.clear();
    for (size_t i = group.apps.size(); i-- > 0;)
        group.index.insert(group.apps[i].ApplicationName, qsizetype(i));
}

} // namespace Lanyard

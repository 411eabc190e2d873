// SPDX-License-Identifier: MIT
#include "ToolBehaviours.h"

#include "util/Logging.h"
#include "util/Raise.h"

using namespace Qt::StringLiterals;

namespace Lanyard {

ToolBehaviours::ToolBehaviours(QObject *parent)
    : QObject(parent)
{
    connect(&m_watch, &FileWatch::changed, this, &ToolBehaviours::reload);
}

void ToolBehaviours::open(const QString &listPath)
{
    m_path = BehaviourFile::pathFor(listPath);
    m_changes.clear();
    m_unreadable = false;
    m_watch.watch(m_path);
    reload();
}

ToolBehaviour ToolBehaviours::value(const Key &tool) const
{
    const auto found = m_shown.find(tool);
    return found == m_shown.end() ? ToolBehaviour() : found->second;
}

void ToolBehaviours::set(const Key &tool, const ToolBehaviour &behaviour)
{
    if (value(tool) == behaviour)
        return;
    m_changes[tool] = behaviour;
    if (behaviour.isDefault())
        m_shown.erase(tool);
    else
        m_shown[tool] = behaviour;
    Q_EMIT changed();
}

void ToolBehaviours::rename(const Key &from, const Key &to)
{
    if (from == to || !m_shown.count(from))
        return;
    const ToolBehaviour moved = value(from);
    const QSignalBlocker quiet(this);
    remove(from);
    set(to, moved);
}

void ToolBehaviours::remove(const Key &tool)
{
    if (!m_shown.count(tool))
        return;
    m_changes[tool] = std::nullopt;
    m_shown.erase(tool);
    Q_EMIT changed();
}

void ToolBehaviours::save(const std::function<bool(const Key &)> &inList)
{
    // Nothing to write, nothing to drop: the file is not even locked (its folder may take no
    // lock file, and a list without behaviours has no file).
    const bool allListed = !inList || std::all_of(m_shown.begin(), m_shown.end(), [&](const auto &tool) {
        return inList(tool.first);
    });
    if (m_path.isEmpty() || (m_changes.empty() && allListed))
        return;
    if (m_unreadable)
        raiseError(ErrorCode::PathFileAccessError, u"%1 was not written: it could not be read"_s.arg(m_path));
    // Tools this object just set stay, whatever the list holds: they may be added next.
    std::function<bool(const Key &)> keep;
    if (inList)
        keep = [&](const Key &tool) { return m_changes.count(tool) || inList(tool); };
    BehaviourFile::Table file = BehaviourFile::save(m_path, m_changes, keep);
    m_changes.clear();
    show(std::move(file));
}

void ToolBehaviours::reload()
{
    try {
        BehaviourFile::Table file = BehaviourFile::load(m_path);
        m_unreadable = false;
        show(std::move(file));
    } catch (const ComponentError &error) {
        if (!std::exchange(m_unreadable, true))
            qCWarning(lcLanyard).noquote() << "The tool behaviours were not read:" << error.message();
    }
}

void ToolBehaviours::show(BehaviourFile::Table file)
{
    for (const auto &[tool, change] : m_changes) {
        if (change && !change->isDefault())
            file[tool] = *change;
        else
            file.erase(tool);
    }
    if (file == m_shown)
        return;
    m_shown = std::move(file);
    Q_EMIT changed();
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#pragma once

#include "catalogue/ToolFilter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

class QAction;
class QMenu;

namespace Lanyard {

class ExternalApps;

/**
 * The entries a ToolsMenu puts into its menu, and their identity: one submenu per group, one
 * action per tool, kept across rebuilds for as long as the tool exists, renamed or moved by
 * ExternalApps::EditApp included, so that what a host set on an action stays. Long names are
 * cut short in the middle (the whole name is the tooltip); a tool's shortcut goes on its action;
 * tools that do not fit the host's document are hidden without a rebuild.
 */
class ToolActions : public QObject
{
    Q_OBJECT

public:
    using Tool = std::pair<QString, QString>; // group, name

    /// Entries go into @p menu; @p picked is called with the action a user picked.
    ToolActions(QMenu *menu, std::function<void(const QAction *)> picked);
    ~ToolActions() override;

    /// Brings the entries up to date with @p apps, the host's actions after them.
    void rebuild(ExternalApps &apps, bool showProtected, const QString &emptyText);
    /// Shows only the tools that fit the filter's document and selection.
    void refilter();
    ToolFilter &filter() { return m_filter; }

    /// The tool @p action stands for now.
    std::optional<Tool> toolOf(const QAction *action) const;
    /// Notes that the tool @p from of @p catalogue becomes @p to at the next rebuild.
    void renaming(const Tool &from, const Tool &to) { m_renames.emplace_back(from, to); }
    /// Every entry's action and the actions of the groups and the empty line, in menu order.
    QList<QAction *> ownActions() const;
    /// The shortcuts the tools' actions have.
    QList<QAction *> toolActions() const;
    /// Takes the entries out of the menu for good, leaving the host's actions.
    void empty();

private:
    QMenu *groupMenu(const QString &group);
    QAction *toolAction(ExternalApps &apps, QMenu *submenu, qint16 group, qint16 app);
    void followRenames(const std::set<Tool> &present);

    QPointer<QMenu> m_menu;
    std::function<void(const QAction *)> m_picked;
    ToolFilter m_filter;
    std::map<QString, QPointer<QMenu>> m_groups;
    std::map<Tool, QPointer<QAction>> m_tools;
    std::map<Tool, ToolBehaviour> m_behaviours; // as the last rebuild read them
    QPointer<QAction> m_placeholder;
    std::vector<std::pair<Tool, Tool>> m_renames; // since the last rebuild, in order
};

} // namespace Lanyard

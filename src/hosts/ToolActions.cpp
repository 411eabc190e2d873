// SPDX-License-Identifier: MIT
#include "ToolActions.h"

#include <Lanyard/ExternalApps.h>

#include "ui/ScreenFit.h"

#include <QAction>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

/// A name shown as it stands: "&" would otherwise mark a mnemonic.
QString menuText(const QString &name)
{
    QString text = name;
    return text.replace(u'&', u"&&"_s);
}

/// A name as a part of an object name: "/" separates the parts.
QString objectNamePart(const QString &name)
{
    QString part = name;
    return part.replace(u'%', u"%25"_s).replace(u'/', u"%2F"_s);
}

/// Takes @p action out of the menus it is in and deletes it once control is back in the event
/// loop: a rebuild may run from inside one of its own actions' triggers.
void discard(QAction *action)
{
    for (QObject *widget : action->associatedObjects()) {
        if (auto *menu = qobject_cast<QMenu *>(widget))
            menu->removeAction(action);
    }
    if (QMenu *submenu = action->menu())
        submenu->deleteLater();
    else
        action->deleteLater();
}

/// Sets @p name on @p action or @p menu, cut short in the middle where it would make the menu
/// wider than a file manager's (sixty characters, two fifths of the screen), whole as tooltip.
template<typename Item>
void setName(Item *item, const QWidget *shownIn, const QString &name)
{
    const QFontMetrics metrics(shownIn->font());
    const int most = std::min(metrics.averageCharWidth() * 60, ScreenFit::availableSize(shownIn).width() * 2 / 5);
    const QString shown = metrics.elidedText(name, Qt::ElideMiddle, most);
    if constexpr (std::is_same_v<Item, QMenu>)
        item->setTitle(menuText(shown));
    else
        item->setText(menuText(shown));
    item->setToolTip(shown == name ? QString() : name);
}

} // namespace

ToolActions::ToolActions(QMenu *menu, std::function<void(const QAction *)> picked)
    : m_menu(menu)
    , m_picked(std::move(picked))
{
}

ToolActions::~ToolActions() = default;

QMenu *ToolActions::groupMenu(const QString &group)
{
    QPointer<QMenu> &submenu = m_groups[group];
    if (!submenu) {
        submenu = new QMenu(m_menu);
        submenu->setObjectName(u"lanyard-group/"_s + objectNamePart(group));
        submenu->setIcon(QIcon(u":/lanyard/icons/group.svg"_s));
        submenu->setToolTipsVisible(true);
    }
    setName(submenu.data(), m_menu, group);
    return submenu;
}

QAction *ToolActions::toolAction(ExternalApps &apps, QMenu *submenu, qint16 group, qint16 app)
{
    const Tool tool{apps.GroupName(group), apps.ApplicationName(group, app)};
    QPointer<QAction> &action = m_tools[tool];
    if (!action) {
        action = new QAction(submenu);
        QAction *made = action;
        connect(action, &QAction::triggered, this, [this, made] { m_picked(made); });
    }
    // A renamed entry's action shows its new names.
    if (action->parent() != submenu)
        action->setParent(submenu);
    setName(action.data(), submenu, tool.second);
    action->setObjectName(u"lanyard-tool/"_s + objectNamePart(tool.first) + u'/' + objectNamePart(tool.second));
    action->setIcon(apps.Icon(group, app));
    // The behaviour's shortcut, once it has one or it changed: else what the host set stays.
    const ToolBehaviour behaviour = apps.toolBehaviour(tool.first, tool.second);
    const auto before = m_behaviours.find(tool);
    const QString previous = before == m_behaviours.end() ? QString() : before->second.shortcut;
    if (!behaviour.shortcut.isEmpty() || behaviour.shortcut != previous)
        action->setShortcut(QKeySequence(behaviour.shortcut, QKeySequence::PortableText));
    m_behaviours[tool] = behaviour;
    return action;
}

void ToolActions::followRenames(const std::set<Tool> &present)
{
    for (const auto &[from, to] : std::exchange(m_renames, {})) {
        // A change the catalogue refused leaves the entry where it was, with its action.
        if (present.count(from) || !present.count(to))
            continue;
        if (auto found = m_tools.find(from); found != m_tools.end() && found->second && !m_tools.count(to)) {
            m_tools[to] = found->second;
            m_tools.erase(found);
        }
        if (auto found = m_behaviours.find(from); found != m_behaviours.end()) {
            m_behaviours[to] = found->second;
            m_behaviours.erase(found);
        }
    }
}

void ToolActions::rebuild(ExternalApps &apps, bool showProtected, const QString &emptyText)
{
    if (!m_menu)
        return;
    QMenu *menu = m_menu;
    // The host's own actions follow the entries.
    const QList<QAction *> previous = ownActions();
    QAction *before = nullptr;
    for (QAction *action : menu->actions()) {
        if (!previous.contains(action)) {
            before = action;
            break;
        }
    }
    for (QAction *action : previous)
        menu->removeAction(action);

    std::set<Tool> present;
    for (qint16 group = 0; group < apps.GroupCount(); ++group) {
        for (qint16 app = 0; app < apps.AppCount(group); ++app)
            present.insert({apps.GroupName(group), apps.ApplicationName(group, app)});
    }
    followRenames(present);

    std::map<QString, QPointer<QMenu>> groups;
    std::map<Tool, QPointer<QAction>> tools;
    QList<QAction *> entries;
    for (qint16 group = 0; group < apps.GroupCount(); ++group) {
        const QString groupName = apps.GroupName(group);
        QList<QAction *> visible;
        QMenu *submenu = nullptr;
        for (qint16 app = 0; app < apps.AppCount(group); ++app) {
            if (!showProtected && apps.AppProtected(group, app) != 0)
                continue;
            submenu = submenu ? submenu : groupMenu(groupName);
            QAction *action = toolAction(apps, submenu, group, app);
            visible << action;
            tools[{groupName, apps.ApplicationName(group, app)}] = action;
        }
        if (!submenu)
            continue;
        for (QAction *action : submenu->actions())
            submenu->removeAction(action);
        submenu->addActions(visible);
        groups[groupName] = submenu;
        entries << submenu->menuAction();
    }
    // Entries that went: their actions go with them, the others stay as the host set them up.
    for (auto &[tool, action] : m_tools) {
        if (action && !tools.count(tool))
            discard(action);
    }
    for (auto &[name, submenu] : m_groups) {
        if (submenu && !groups.count(name))
            discard(submenu->menuAction());
    }
    m_tools = std::move(tools);
    m_groups = std::move(groups);
    std::erase_if(m_behaviours, [&](const auto &tool) { return !m_tools.count(tool.first); });

    const bool isEmpty = entries.isEmpty() && !emptyText.isEmpty();
    if (isEmpty && !m_placeholder) {
        m_placeholder = new QAction(menu);
        m_placeholder->setEnabled(false);
    } else if (!isEmpty && m_placeholder) {
        discard(m_placeholder);
        m_placeholder = nullptr;
    }
    if (m_placeholder) {
        m_placeholder->setText(emptyText);
        entries << m_placeholder;
    }
    menu->insertActions(before, entries);
    refilter();
}

void ToolActions::refilter()
{
    std::map<QMenu *, bool> shown;
    for (const auto &[tool, action] : m_tools) {
        if (!action)
            continue;
        const auto behaviour = m_behaviours.find(tool);
        const bool fits = behaviour == m_behaviours.end() || m_filter.fits(behaviour->second);
        action->setVisible(fits);
        if (auto *submenu = qobject_cast<QMenu *>(action->parent()))
            shown[submenu] = shown[submenu] || fits;
    }
    for (const auto &[submenu, any] : shown)
        submenu->menuAction()->setVisible(any);
}

std::optional<ToolActions::Tool> ToolActions::toolOf(const QAction *action) const
{
    for (const auto &[tool, each] : m_tools) {
        if (each == action)
            return tool;
    }
    return std::nullopt;
}

QList<QAction *> ToolActions::ownActions() const
{
    QList<QAction *> actions;
    for (const auto &[name, submenu] : m_groups) {
        if (submenu)
            actions << submenu->menuAction();
    }
    if (m_placeholder)
        actions << m_placeholder;
    return actions;
}

QList<QAction *> ToolActions::toolActions() const
{
    QList<QAction *> actions;
    for (const auto &[tool, action] : m_tools) {
        if (action)
            actions << action;
    }
    return actions;
}

void ToolActions::empty()
{
    for (QAction *action : ownActions())
        discard(action);
    m_groups.clear();
    m_tools.clear();
    m_behaviours.clear();
    m_placeholder = nullptr;
    m_renames.clear();
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include <Lanyard/ToolsMenu.h>

#include <Lanyard/ExternalApps.h>

#include <QAction>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPointer>

#include <map>
#include <utility>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

using EntryKey = std::pair<QString, QString>; // group, application

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

/// Takes @p object out of the menus it is in and deletes it once control is back in the event
/// loop: rebuild may run from inside one of its own actions' triggers.
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

} // namespace

struct LANYARD_NO_EXPORT ToolsMenu::Private
{
    QPointer<ExternalApps> apps;
    QPointer<QMenu> menu;
    std::unique_ptr<QMenu> ownedMenu;
    bool showProtected = false;
    QString emptyText = ToolsMenu::tr("No tools configured");
    // What rebuild() put into the menu, kept across rebuilds for the entries that stay; the
    // host's own actions are never touched.
    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QPointer<QAction> placeholder;

    QMenu *groupMenu(const QString &group);
    QAction *toolAction(ToolsMenu *owner, QMenu *submenu, qint16 groupIndex, qint16 appIndex);
    /// The menu actions of the groups and the placeholder, in menu order.
    QList<QAction *> ownActions() const;
};

QMenu *ToolsMenu::Private::groupMenu(const QString &group)
{
    QPointer<QMenu> &submenu = groups[group];
    if (!submenu) {
        submenu = new QMenu(menuText(group), menu);
        submenu->setObjectName(u"lanyard-group/"_s + objectNamePart(group));
        submenu->setIcon(QIcon(u":/lanyard/icons/group.svg"_s));
    }
    return submenu;
}

QAction *ToolsMenu::Private::toolAction(ToolsMenu *owner, QMenu *submenu, qint16 groupIndex, qint16 appIndex)
{
    const QString group = apps->GroupName(groupIndex);
    const QString app = apps->ApplicationName(groupIndex, appIndex);
    QPointer<QAction> &action = tools[{group, app}];
    if (!action) {
        action = new QAction(menuText(app), submenu);
        action->setObjectName(u"lanyard-tool/"_s + objectNamePart(group) + u'/' + objectNamePart(app));
        connect(action, &QAction::triggered, owner, [owner, group, app] { owner->launch(group, app); });
    }
    action->setIcon(apps->Icon(groupIndex, appIndex));
    return action;
}

QList<QAction *> ToolsMenu::Private::ownActions() const
{
    QList<QAction *> actions;
    for (const auto &[name, submenu] : groups) {
        if (submenu)
            actions << submenu->menuAction();
    }
    if (placeholder)
        actions << placeholder;
    return actions;
}

ToolsMenu::ToolsMenu(ExternalApps *apps, QMenu *menu, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->apps = apps;
    d->menu = menu;
    rebuild();
}

ToolsMenu::ToolsMenu(ExternalApps *apps, const QString &title, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->apps = apps;
    d->ownedMenu = std::make_unique<QMenu>(title);
    d->menu = d->ownedMenu.get();
    rebuild();
}

ToolsMenu::~ToolsMenu()
{
    // A host-owned menu keeps the host's actions but loses the entries, which would
    // otherwise call into this object.
    if (d->menu && !d->ownedMenu) {
        for (QAction *action : d->ownActions()) {
            d->menu->removeAction(action);
            if (QMenu *submenu = action->menu())
                delete submenu; // takes its menu action along
            else
                delete action;
        }
    }
}

QMenu *ToolsMenu::menu() const { return d->menu; }

ExternalApps *ToolsMenu::externalApps() const { return d->apps; }

bool ToolsMenu::showProtected() const { return d->showProtected; }

void ToolsMenu::setShowProtected(bool show)
{
    if (d->showProtected == show)
        return;
    d->showProtected = show;
    rebuild();
}

QString ToolsMenu::emptyText() const { return d->emptyText; }

void ToolsMenu::setEmptyText(const QString &text)
{
    d->emptyText = text;
    rebuild();
}

void ToolsMenu::rebuild()
{
    if (!d->menu)
        return;
    QMenu *menu = d->menu;
    // The host's own actions follow the entries.
    const QList<QAction *> previous = d->ownActions();
    QAction *before = nullptr;
    for (QAction *action : menu->actions()) {
        if (!previous.contains(action)) {
            before = action;
            break;
        }
    }
    for (QAction *action : previous)
        menu->removeAction(action);

    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QList<QAction *> entries;
    ExternalApps *apps = d->apps;
    for (qint16 group = 0; apps && group < apps->GroupCount(); ++group) {
        const QString groupName = apps->GroupName(group);
        QList<QAction *> visible;
        QMenu *submenu = nullptr;
        for (qint16 app = 0; app < apps->AppCount(group); ++app) {
            if (!d->showProtected && apps->AppProtected(group, app) != 0)
                continue;
            submenu = submenu ? submenu : d->groupMenu(groupName);
            QAction *action = d->toolAction(this, submenu, group, app);
            visible << action;
            tools[{groupName, apps->ApplicationName(group, app)}] = action;
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
    for (auto &[key, action] : d->tools) {
        if (action && !tools.count(key))
            discard(action);
    }
    for (auto &[name, submenu] : d->groups) {
        if (submenu && !groups.count(name))
            discard(submenu->menuAction());
    }
    d->tools = std::move(tools);
    d->groups = std::move(groups);

    const bool empty = entries.isEmpty() && !d->emptyText.isEmpty();
    if (empty && !d->placeholder) {
        d->placeholder = new QAction(menu);
        d->placeholder->setEnabled(false);
    } else if (!empty && d->placeholder) {
        discard(d->placeholder);
        d->placeholder = nullptr;
    }
    if (d->placeholder) {
        d->placeholder->setText(d->emptyText);
        entries << d->placeholder;
    }
    menu->insertActions(before, entries);
}

void ToolsMenu::launch(const QString &group, const QString &app)
{
    QPointer<ToolsMenu> self(this);
    Q_EMIT aboutToLaunch(group, app);
    if (!self || !d->apps)
        return;
    // An entry that went away behind the menu's back fails as launchFailed, never by throwing.
    const bool ok = d->apps->ExecuteApp(group, app);
    if (self)
        Q_EMIT launched(group, app, ok);
}

} // namespace Lanyard

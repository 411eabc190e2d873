// SPDX-License-Identifier: MIT
#include <Lanyard/ToolsMenu.h>

#include <Lanyard/ExternalApps.h>

#include "ui/Captions.h"
#include "ui/RenameNotice.h"

#include <QAction>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPointer>

#include <map>
#include <optional>
#include <utility>
#include <vector>

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
    // The host's text; without one the menu says it in the catalogue's language.
    std::optional<QString> emptyText;
    // What rebuild() put into the menu, kept across rebuilds for the entries that stay; the
    // host's own actions are never touched.
    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QPointer<QAction> placeholder;
    // Entries the program list window renamed or moved since the last rebuild, in order: their
    // actions go with them.
    std::vector<std::pair<EntryKey, EntryKey>> renames;

    QString placeholderText() const
    {
        return emptyText.value_or(
            Captions::text(TextId::NoToolsConfigured, apps ? apps->Language() : Language::lEnglish));
    }
    /// Gives the actions of renamed entries their new keys, where the old entry went.
    void followRenames(const std::map<EntryKey, bool> &present);
    void listenForRenames(ToolsMenu *owner);
    QMenu *groupMenu(const QString &group);
    QAction *toolAction(ToolsMenu *owner, QMenu *submenu, qint16 groupIndex, qint16 appIndex);
    /// The menu actions of the groups and the placeholder, in menu order.
    QList<QAction *> ownActions() const;
    /// Takes the entries out of the menu for good, leaving the host's actions.
    void empty();
    void follow(ToolsMenu *owner, ExternalApps *catalogue);
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
        action = new QAction(submenu);
        QAction *made = action;
        connect(action, &QAction::triggered, owner, [owner, made] { owner->launch(made); });
    }
    // A renamed entry's action shows its new names.
    if (action->parent() != submenu)
        action->setParent(submenu);
    action->setText(menuText(app));
    action->setObjectName(u"lanyard-tool/"_s + objectNamePart(group) + u'/' + objectNamePart(app));
    action->setIcon(apps->Icon(groupIndex, appIndex));
    return action;
}

void ToolsMenu::Private::followRenames(const std::map<EntryKey, bool> &present)
{
    for (const auto &[from, to] : std::exchange(renames, {})) {
        auto found = tools.find(from);
        // A change the catalogue refused leaves the entry where it was, with its action.
        if (found == tools.end() || !found->second || present.count(from) || tools.count(to))
            continue;
        tools[to] = found->second;
        tools.erase(found);
    }
}

void ToolsMenu::Private::listenForRenames(ToolsMenu *owner)
{
    connect(RenameNotice::instance(), &RenameNotice::renaming, owner,
            [this](const QObject *catalogue, const QString &group, const QString &app, const QString &newGroup,
                   const QString &newApp) {
                if (catalogue == apps)
                    renames.emplace_back(EntryKey{group, app}, EntryKey{newGroup, newApp});
            });
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

void ToolsMenu::Private::empty()
{
    for (QAction *action : ownActions())
        discard(action);
    groups.clear();
    tools.clear();
    placeholder = nullptr;
    renames.clear();
}

void ToolsMenu::Private::follow(ToolsMenu *owner, ExternalApps *catalogue)
{
    apps = catalogue;
    listenForRenames(owner);
    if (!catalogue)
        return;
    connect(catalogue, &ExternalApps::catalogueChanged, owner, &ToolsMenu::rebuild);
    // Destroyed is emitted once the catalogue is only a QObject: apps is null by then, and
    // nothing here may call into it.
    connect(catalogue, &QObject::destroyed, owner, [this] { empty(); });
}

ToolsMenu::ToolsMenu(ExternalApps *apps, QMenu *menu, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->menu = menu;
    d->follow(this, apps);
    rebuild();
}

ToolsMenu::ToolsMenu(ExternalApps *apps, const QString &title, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->ownedMenu = std::make_unique<QMenu>(title);
    d->menu = d->ownedMenu.get();
    d->follow(this, apps);
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

QString ToolsMenu::emptyText() const { return d->placeholderText(); }

void ToolsMenu::setEmptyText(const QString &text)
{
    d->emptyText = text;
    rebuild();
}

void ToolsMenu::rebuild()
{
    // Without its catalogue the menu stays as empty() left it.
    if (!d->menu || !d->apps)
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

    ExternalApps *apps = d->apps;
    std::map<EntryKey, bool> present;
    for (qint16 group = 0; group < apps->GroupCount(); ++group) {
        for (qint16 app = 0; app < apps->AppCount(group); ++app)
            present[{apps->GroupName(group), apps->ApplicationName(group, app)}] = true;
    }
    d->followRenames(present);

    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QList<QAction *> entries;
    for (qint16 group = 0; group < apps->GroupCount(); ++group) {
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

    const QString emptyText = d->placeholderText();
    const bool empty = entries.isEmpty() && !emptyText.isEmpty();
    if (empty && !d->placeholder) {
        d->placeholder = new QAction(menu);
        d->placeholder->setEnabled(false);
    } else if (!empty && d->placeholder) {
        discard(d->placeholder);
        d->placeholder = nullptr;
    }
    if (d->placeholder) {
        d->placeholder->setText(emptyText);
        entries << d->placeholder;
    }
    menu->insertActions(before, entries);
}

void ToolsMenu::launch(const QAction *action)
{
    // The entry the action stands for now: a rename in the window may have given it new names.
    for (const auto &[key, tool] : d->tools) {
        if (tool == action) {
            // A copy: a host rebuilding from the signals replaces the map the key is in.
            const EntryKey entry = key;
            return launch(entry.first, entry.second);
        }
    }
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

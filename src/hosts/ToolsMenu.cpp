#include <Lanyard/ToolsMenu.h>

#include <Lanyard/ComponentError.h>
#include <Lanyard/ExternalApps.h>

#include <QAction>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Lanyard {

struct LANYARD_NO_EXPORT ToolsMenu::Private
{
    QPointer<ExternalApps> apps;
    QPointer<QMenu> menu;
    std::unique_ptr<QMenu> ownedMenu;
    bool showProtected = false;
    QString emptyText = ToolsMenu::tr("No tools configured");
    // What rebuild() put into the menu; the host's own actions are never touched.
    QList<QPointer<QAction>> entries;
};

namespace {

/// A name shown as it stands: "&" would otherwise mark a mnemonic.
QString menuText(const QString &name)
{
    QString text = name;
    return text.replace(u'&', u"&&"_s);
}

} // namespace

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
        for (const QPointer<QAction> &entry : std::as_const(d->entries)) {
            if (!entry)
                continue;
            d->menu->removeAction(entry);
            if (QMenu *submenu = entry->menu())
                delete submenu; // takes its menu action along
            else
                delete entry.data();
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
    // The entries go later: rebuild may run from inside one of their own triggers.
    for (const QPointer<QAction> &entry : std::as_const(d->entries)) {
        if (!entry)
            continue;
        menu->removeAction(entry);
        if (QMenu *submenu = entry->menu())
            submenu->deleteLater();
        else
            entry->deleteLater();
    }
    d->entries.clear();
    if (!d->apps)
        return;

    QAction *before = menu->actions().value(0);
    ExternalApps *apps = d->apps;
    const QIcon groupIcon(u":/lanyard/icons/group.svg"_s);
    for (qint16 group = 0; group < apps->GroupCount(); ++group) {
        const QString groupName = apps->GroupName(group);
        auto *submenu = new QMenu(menuText(groupName), menu);
        submenu->setIcon(groupIcon);
        for (qint16 app = 0; app < apps->AppCount(group); ++app) {
            if (!d->showProtected && apps->AppProtected(group, app) != 0)
                continue;
            const QString appName = apps->ApplicationName(group, app);
            QAction *action = submenu->addAction(apps->Icon(group, app), menuText(appName));
            connect(action, &QAction::triggered, this, [this, groupName, appName] {
                QPointer<ToolsMenu> self(this);
                Q_EMIT aboutToLaunch(groupName, appName);
                if (!self || !d->apps)
                    return;
                bool ok = false;
                try {
                    ok = d->apps->ExecuteApp(groupName, appName);
                } catch (const ComponentError &) {
                    ok = false; // the entry went away behind the menu's back
                }
                if (self)
                    Q_EMIT launched(groupName, appName, ok);
            });
        }
        if (submenu->isEmpty()) {
            delete submenu;
            continue;
        }
        menu->insertMenu(before, submenu);
        d->entries.append(submenu->menuAction());
    }
    if (d->entries.isEmpty() && !d->emptyText.isEmpty()) {
        auto *placeholder = new QAction(d->emptyText, menu);
        placeholder->setEnabled(false);
        menu->insertAction(before, placeholder);
        d->entries.append(placeholder);
    }
}

} // namespace Lanyard

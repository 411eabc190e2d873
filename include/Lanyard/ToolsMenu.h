// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;

namespace Lanyard {

class ExternalApps;

/**
 * A host's Tools menu built from an ExternalApps catalogue: one submenu per group in catalogue
 * order (groups without a visible application are left out), one action per application with
 * its icon. Picking an action emits aboutToLaunch, calls ExecuteApp and emits launched.
 *
 * The entries go first in the menu, before any action the host adds itself (a separator and a
 * "Configure tools..." entry, say); rebuild() brings only them up to date. The menu follows the
 * catalogue by itself: it rebuilds on ExternalApps::catalogueChanged, so changes made in the
 * program list window, by the host or (reloaded) by another program show at once. Protected
 * entries are hidden unless showProtected is set.
 *
 * Either object may be deleted first (both children of one main window, say, in any order of
 * creation). When the ExternalApps object goes first, its entries leave the menu, the host's
 * actions stay, and this object is harmless: rebuild(), the setters and a pick do nothing.
 *
 * An entry keeps its QAction across rebuilds for as long as it exists, renamed or moved to
 * another group in the program list window included, so what a host sets on it (a shortcut,
 * say) stays. Its objectName is stable: "lanyard-tool/" + group + "/" + name
 * (a "/" or "%" in a name written %2F or %25); the submenus are "lanyard-group/" + group.
 */
class LANYARD_EXPORT ToolsMenu : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool showProtected READ showProtected WRITE setShowProtected)

public:
    /// Fills @p menu, which the host owns.
    ToolsMenu(ExternalApps *apps, QMenu *menu, QObject *parent = nullptr);
    /// Fills a menu of its own, titled @p title.
    ToolsMenu(ExternalApps *apps, const QString &title, QObject *parent = nullptr);
    ~ToolsMenu() override;

    /// The menu the entries are in: the host's, or the one made with a title.
    QMenu *menu() const;
    /// The catalogue the entries come from; null once it has been deleted.
    ExternalApps *externalApps() const;

    /// Whether protected entries are shown; false at creation.
    bool showProtected() const;
    /// Rebuilds the entries when the setting changes.
    void setShowProtected(bool show);

    /// The disabled entry shown when no application is visible; empty for none. Until the host
    /// sets one, "No tools configured" in the catalogue's language.
    QString emptyText() const;
    /// Sets emptyText() and rebuilds the entries.
    void setEmptyText(const QString &text);

public Q_SLOTS:
    /// Brings the entries up to date with the catalogue (done on catalogueChanged already);
    /// never throws.
    void rebuild();

Q_SIGNALS:
    /// Emitted when an entry is picked, right before ExecuteApp (which then emits
    /// ExternalApps::placeholdersWanted, the place for the host's current data).
    void aboutToLaunch(const QString &group, const QString &app);
    /// ExecuteApp's result for an entry the user picked.
    void launched(const QString &group, const QString &app, bool ok);

private:
    void launch(const QAction *action);
    void launch(const QString &group, const QString &app);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

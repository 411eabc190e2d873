// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSettings;

namespace Lanyard {

class ExternalApps;

/**
 * A host's Tools menu built from an ExternalApps catalogue: one submenu per group in catalogue
 * order (groups without a visible application are left out), one action per application with
 * its icon. Picking an action emits aboutToLaunch, calls ExecuteApp and emits launched (for
 * an entry that talks back, below: starts a run).
 *
 * The entries go first in the menu, before any action the host adds itself (a separator and a
 * "Configure tools..." entry, say); rebuild() brings only them up to date. The menu follows the
 * catalogue by itself: it rebuilds at once on every ExternalApps::catalogueChanged (no delay,
 * so it is current as soon as a member returns), so changes made in the program list window,
 * by the host or (reloaded) by another program show at once. Protected entries are hidden
 * unless showProtected is set.
 *
 * Either object may be deleted first (both children of one main window, say, in any order of
 * creation). When the ExternalApps object goes first, all of its entries leave the menu, the
 * "No tools configured" line included, the host's actions stay, and the menu stays empty: this
 * object is harmless, externalApps() is null, and rebuild(), the setters and a pick do nothing.
 *
 * An entry keeps its QAction across rebuilds for as long as it exists, renamed or moved to
 * another group by ExternalApps::EditApp (in the program list window or by the host) included
 * (the action takes the new text and object name), so what a host sets on it (a shortcut, say)
 * stays. Renaming through ExternalApps::setGroupName or ExternalApps::setApplicationName is an
 * entry gone and a new one. Its objectName is stable: "lanyard-tool/" + group + "/" + name (a
 * "/" or "%" in a name written %2F or %25); the submenus are "lanyard-group/" + group.
 *
 * An entry may also talk back. Its output mode says where the program's output goes, and it
 * may take the host's selection on its standard input; such an entry runs through
 * ExternalApps::startTool instead of ExecuteApp. The host hands over its document with
 * setDocumentHooks and keeps the modes with saveModes and loadModes; a mode follows its entry
 * across renames and moves, as the action does (see \ref output-modes). The mode is taken when
 * the entry is picked. What a run delivers:
 * - OutputMode::Pane: standard output and standard error together, in the order they came,
 *   whatever the exit status (a checker's findings come with a failing status);
 * - the other modes: standard output alone, and only when the program exits with status 0;
 *   after a failing status, or when it did not start, nothing changes and runFailed says why.
 *
 * Into the text (InsertAtCursor, ReplaceSelection) and onto the clipboard, one line break at
 * the end of the output is dropped unless the text the program read ended with one, so `sort`
 * on two selected lines replaces just those; a new document keeps it. Clipboard output goes to
 * the application's clipboard; the other modes go to the host's hook. Output is text decoded as
 * UTF-8 and the input is sent as UTF-8; a run's output is kept in memory until it ends.
 *
 * A run is cancelled, with everything it started, when the menu or its ExternalApps object is
 * deleted, and when the user picks the same entry again while it runs: the new run replaces it
 * and the first delivers nothing (a cancelled run emits neither runFailed nor runFinished).
 * Runs of different entries go on side by side.
 */
class LANYARD_EXPORT ToolsMenu : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool showProtected READ showProtected WRITE setShowProtected NOTIFY showProtectedChanged)

public:
    /// Where a run's output goes.
    enum class OutputMode {
        Ignore,           ///< nowhere: the program is started and left alone
        Pane,             ///< to the host's output pane, standard error included
        InsertAtCursor,   ///< into the document at the cursor
        ReplaceSelection, ///< in place of the selection
        NewDocument,      ///< into a new document
        Clipboard,        ///< onto the clipboard
    };
    Q_ENUM(OutputMode)

    /// Gives the text a tool with selectionAsInput reads: the selection, or what the host
    /// takes instead when there is none (its whole text, say).
    using SelectionHook = std::function<QString()>;
    /// Receives a run's output for every mode but Ignore and Clipboard.
    using OutputHook = std::function<void(OutputMode mode, const QString &text)>;

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
    /// Rebuilds the entries and emits showProtectedChanged when the setting changes.
    void setShowProtected(bool show);

    /// The disabled entry shown when no application is visible; empty for none. Until the host
    /// sets one, "No tools configured" in the catalogue's language.
    QString emptyText() const;
    /// Sets emptyText() and rebuilds the entries.
    void setEmptyText(const QString &text);

    /// Sets where a run's input comes from and where its output goes; an empty function
    /// stands for an empty selection, or for a host that takes no output.
    void setDocumentHooks(SelectionHook selection, OutputHook output);

    /// The output mode of an entry; Ignore unless one was set.
    OutputMode outputMode(const QString &group, const QString &app) const;
    /// Sets the output mode of an entry.
    void setOutputMode(const QString &group, const QString &app, OutputMode mode);
    /// Whether the entry reads the host's selection on its standard input; false unless set.
    bool selectionAsInput(const QString &group, const QString &app) const;
    /// Sets whether the entry reads the host's selection on its standard input.
    void setSelectionAsInput(const QString &group, const QString &app, bool input);

    /// Writes the modes of the catalogue's entries into the current group of @p settings, one
    /// key per entry that has a mode or input ("GROUP/NAME" as in the object names, a backslash
    /// written %5C and an empty name %00), whose value lists the output mode's name and
    /// "SelectionInput" when set: `Text/Sort=ReplaceSelection, SelectionInput`. The group is the
    /// menu's (so give it a group of its own): every other key in it is removed, those of
    /// entries with no mode set, or gone, included. Modes of entries that are not in the
    /// catalogue are kept in memory but not saved.
    void saveModes(QSettings &settings) const;
    /// Takes the modes from the current group of @p settings, as saveModes wrote them, in place
    /// of those set before; keys and words it does not know are left out.
    void loadModes(QSettings &settings);

public Q_SLOTS:
    /// Brings the entries up to date with the catalogue (done on catalogueChanged already);
    /// never throws.
    void rebuild();

Q_SIGNALS:
    /// showProtected changed.
    void showProtectedChanged();
    /// Emitted when an entry is picked, right before it starts (ExecuteApp or startTool, which
    /// then emit ExternalApps::placeholdersWanted, the place for the host's current data).
    void aboutToLaunch(const QString &group, const QString &app);
    /// ExecuteApp's result for an entry the user picked that has no output mode and no input
    /// (only for those: the others start a run).
    void launched(const QString &group, const QString &app, bool ok);
    /// A run of the entry did not start, or ended with a failing status in a mode other than
    /// Pane: @p reason is ToolRun::failure, or what the program wrote on standard error (else
    /// "exited with status N"). Nothing was delivered.
    void runFailed(const QString &group, const QString &app, const QString &reason);
    /// A run of the entry that started has ended by itself with @p exitCode (as
    /// ToolRun::exitCode), after its output was delivered or runFailed was emitted. A run that
    /// was cancelled emits nothing.
    void runFinished(const QString &group, const QString &app, int exitCode);

private:
    void launch(const QAction *action);
    void launch(const QString &group, const QString &app);
    void startRun(const QAction *action, const QString &group, const QString &app);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

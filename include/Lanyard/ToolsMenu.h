// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>
#include <Lanyard/ToolBehaviour.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSettings;
class QWidget;

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
 * How a tool behaves is its ToolBehaviour, which users set in the tool behaviour window
 * (addConfigureActions()) and ExternalApps keeps beside the launch list: no settings code in the
 * host. A tool may talk back: its output goes where its output mode says, and it may read the
 * selection or the whole document; such a tool, and one that runs in a folder of its own or
 * is followed to its end (reload after), runs through ExternalApps::startTool instead of
 * ExecuteApp. The host hands over its document with setTextEdit() (a QPlainTextEdit or
 * QTextEdit) or setDocumentHooks(), and tells the menu what it shows with setCurrentDocument()
 * and setHasSelection(): tools whose file types do not fit the document, and tools that need a
 * selection while there is none, are hidden (the program list window still shows them). A
 * tool's shortcut goes on its action. The behaviour is taken when the tool is picked; picking
 * it runs, in order: aboutToLaunch; saveRequested when the tool saves first; a small window for
 * each %ASK% or %ASK:Prompt% of its command line and folder, offering the values given before
 * (Escape cancels the launch), the answer being one argument as any placeholder's value; then
 * the launch. What a run delivers:
 * - OutputMode::Pane: standard output and standard error together, in the order they came,
 *   whatever the exit status (a checker's findings come with a failing status);
 * - the other modes: standard output alone, and only when the program exits with status 0;
 *   after a failing status, or when it did not start, nothing changes and runFailed says why.
 *
 * Output lands where the tool was aimed: ReplaceSelection replaces the text the tool was given
 * (the selection, or the document for a tool that reads the whole document), InsertAtCursor
 * inserts where the cursor was, wherever the user went meanwhile. When that text changed while
 * the tool ran, nothing is overwritten: outputHeldBack hands the output to the host instead.
 * Into the text and onto the clipboard, one line break at the end of the output is dropped
 * unless the text the program read ended with one, so `sort` on two selected lines replaces
 * just those; a new document keeps it. Clipboard output goes to the application's clipboard,
 * pane and new-document output to the host's hook. Pane output comes piece by piece as the
 * program writes it; the other modes' output is kept in memory until the run ends. Output is
 * text decoded as UTF-8 and the input is sent as UTF-8. With reloadAfter, once the run ended,
 * reloadRequested tells the host when the current file changed on disk meanwhile.
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
    /// Where a run's output goes (ToolBehaviour::Output).
    using OutputMode = ToolBehaviour::Output;

    /// Gives the text a tool that reads the selection takes: the selection, or what the host
    /// takes instead when there is none (its whole text, say).
    using SelectionHook = std::function<QString()>;
    /// Gives the whole document, for a tool that reads it.
    using DocumentHook = std::function<QString()>;
    /// Receives a run's output for every mode but Ignore and Clipboard (with setTextEdit(),
    /// only Pane and NewDocument).
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

    /**
     * Appends a separator, "Configure Tools..." (the program list window, modal over the
     * menu's window) and "Tool Behaviour..." (the tool behaviour window) to the menu, in the
     * catalogue's language. What the user confirmed in either is saved when the window
     * closes. (A change made in the program list window opened otherwise, by
     * ExternalApps::ShowForm, is saved when it closes too, as long as this menu exists.)
     */
    void addConfigureActions();
    /// Opens the tool behaviour window over @p owner (none: the menu's window), the tool
    /// @p group / @p app chosen in it; true when the user chose OK (the behaviours are then
    /// saved). Never throws.
    bool showBehaviourWindow(QWidget *owner = nullptr, const QString &group = QString(),
                             const QString &app = QString());

    /// Sets where a run's input comes from and where its output goes; an empty function
    /// stands for an empty selection or document, or for a host that takes no output.
    void setDocumentHooks(SelectionHook selection, OutputHook output, DocumentHook document = DocumentHook());
    /**
     * Takes input from and puts output into @p editor (a QPlainTextEdit or QTextEdit; null:
     * the hooks again), following its selection for the tools that need one; @p others
     * receives Pane and NewDocument output.
     */
    void setTextEdit(QWidget *editor, OutputHook others = OutputHook());
    /**
     * The document the host shows now: its file (empty: none, or not saved yet) and its MIME
     * type (empty: QMimeDatabase tells it from the name). Tools whose file types do not fit
     * are hidden; no entry is rebuilt.
     */
    void setCurrentDocument(const QString &fileName, const QString &mimeType = QString());
    /// Whether text is selected now; tools that need a selection are hidden while none is.
    void setHasSelection(bool hasSelection);
    /// From a saveRequested handler: the tool does not start (the user cancelled the save).
    void cancelLaunch();

    /// The output mode of an entry (its ToolBehaviour's); Ignore unless one was set.
    OutputMode outputMode(const QString &group, const QString &app) const;
    /// Sets the output mode of an entry's ToolBehaviour.
    void setOutputMode(const QString &group, const QString &app, OutputMode mode);
    /// Whether the entry reads the host's selection on its standard input; false unless set.
    bool selectionAsInput(const QString &group, const QString &app) const;
    /// Sets whether the entry reads the host's selection on its standard input.
    void setSelectionAsInput(const QString &group, const QString &app, bool input);

    /**
     * Writes the output modes and inputs of the catalogue's entries into the current group of
     * @p settings, one key per entry that has a mode or input ("GROUP/NAME" as in the object
     * names, a backslash written %5C and an empty name %00), whose value lists the output
     * mode's name and "SelectionInput" when set: `Text/Sort=ReplaceSelection, SelectionInput`.
     * Every other key of the group is removed. (Lanyard keeps behaviours itself, see
     * ExternalApps::toolBehaviour: this is for hosts that keep them in their own settings too.)
     */
    void saveModes(QSettings &settings) const;
    /// Takes the output modes and inputs of the catalogue's entries from the current group of
    /// @p settings, as saveModes wrote them, in place of those set before; keys and words it
    /// does not know are left out.
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
    /**
     * The tool about to start saves first: the host saves @p scope (the current document, or
     * all) in its handler; the launch goes on when the handler returns, unless it called
     * cancelLaunch().
     */
    void saveRequested(Lanyard::ToolBehaviour::Save scope);
    /// A tool with reloadAfter has ended and @p fileName, the current file when it started,
    /// changed on disk meanwhile: the host reads it again.
    void reloadRequested(const QString &fileName);
    /// ExecuteApp's result for an entry the user picked that does not run (see ToolBehaviour::runs).
    void launched(const QString &group, const QString &app, bool ok);
    /// A run of the entry did not start, or ended with a failing status in a mode other than
    /// Pane: @p reason is ToolRun::failure, or what the program wrote on standard error (else
    /// "exited with status N"). Nothing was delivered.
    void runFailed(const QString &group, const QString &app, const QString &reason);
    /// The text the tool was given changed while it ran, or its document went: @p output was
    /// not put in, and is the host's to offer (@p reason says why, in the catalogue's language).
    void outputHeldBack(const QString &group, const QString &app, const QString &output, const QString &reason);
    /// A run of the entry that started has ended by itself with @p exitCode (as
    /// ToolRun::exitCode), after its output was delivered or runFailed was emitted. A run that
    /// was cancelled emits nothing.
    void runFinished(const QString &group, const QString &app, int exitCode);

private:
    void launch(const QAction *action);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

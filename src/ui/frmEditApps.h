// SPDX-License-Identifier: MIT
#pragma once

#include "Captions.h"
#include "EntryMessages.h"
#include "ImageList.h"
#include "SingleWindow.h"
#include "frmNewApp.h"

#include <Lanyard/Result.h>

#include <QWidget>

#include <optional>

#include <memory>

class QTreeWidgetItem;

namespace Lanyard {

class LaunchEntries;

/**
 * The program list window: one catalogue as a tree of groups and
 * their applications, with buttons to add, edit and delete applications. One per process,
 * shared by all catalogues; showing it for another one points it at that one.
 *
 * Loaded means the window object exists; closing it in any way unloads it.
 */
class frmEditApps : public QWidget, public SingleWindow<frmEditApps>
{
    Q_OBJECT

public:
    /// The data role of column 0 holding a node's tag: "ROOT" marks a group node.
    static constexpr int TagRole = Qt::UserRole;

    /// Loads the window if needed, points it at @p apps and shows it, owned by @p owner (its
    /// transient child, opened centred over it): @p modal 1 returns when the window has been
    /// closed, 0 at once. Escape or the close box closes it.
    /// Throws ComponentError(InvalidArgument) for any other @p modal, and when the program has
    /// no QApplication.
    static void ShowFor(LaunchEntries *apps, qint32 modal, QWidget *owner);
    /// Unloads the window if it is loaded: the dialog and the picker first.
    static void Unload();
    /// Unloads the window if it is loaded and shows @p apps; one showing other entries stays.
    static void UnloadFor(const LaunchEntries *apps);

    LaunchEntries *LaunchAppClass() const;
    /// Stores @p apps and fills the tree from it. Whoever owns @p apps unloads the window
    /// before releasing it.
    void setLaunchAppClass(LaunchEntries *apps);

    /// Rebuilds the tree and its images from the catalogue.
    void FillTree();
    void AddProgram();
    /// Edits the selected application; does nothing when no application node is selected.
    void EditProgram();
    /// Deletes the selected application; does nothing when no application node is selected.
    void RemoveProgram();

Q_SIGNALS:
    /// The window has been unloaded (its deletion may follow later).
    void unloaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend class SingleWindow<frmEditApps>;
    explicit frmEditApps(QWidget *owner);
    ~frmEditApps() override;

    void showModal(bool modal, QWidget *owner);
    /// Makes the window @p owner's child: a window manager stacks and places it with the owner.
    void belongTo(QWidget *owner);
    /// Sizes the window so that the tree shows its names whole, within the screen.
    void fitToContents();
    /// Makes the application @p app of @p group current, or the group itself for an empty
    /// @p app or an application gone; the first group for a group gone.
    void makeCurrent(const QString &group, const QString &app);
    /// Keeps the current node visible when @p groupNode closes.
    void keepCurrentInSight(QTreeWidgetItem *groupNode);
    void detach();
    bool isLoaded() const;
    QTreeWidgetItem *selectedAppNode() const;
    /// The group and application names of the selected application node, while the window
    /// serves a component.
    struct Selected
    {
        QString group;
        QString app;
    };
    std::optional<Selected> selectedEntry() const;
    /// A message box to show later: its object name and text.
    struct Report
    {
        QString objectName;
        QString text;
    };
    /// Shows the application dialog with @p caption, its fields prefilled with @p prefill; OK
    /// hands the fields to @p store while the dialog is open.
    void askForFields(TextId caption, const std::optional<frmNewApp::Fields> &prefill, const frmNewApp::Store &store);
    /// Unloads the application dialog, fills the tree again with @p current as current node
    /// and shows a message kept for later, unless the window went meanwhile.
    void unloadDialogAndFill(const std::optional<Selected> &current);
    /// Edit and Delete act on an application node only.
    void updateButtonsForSelection();
    /// Shows @p text in a message box named @p objectName, unless the window went meanwhile.
    void report(const QString &objectName, const QString &text);
    /// Tells the user, once the dialog has closed, which limit refused putting @p app into @p group.
    void reportLimit(EntryMessages::Change change, const QString &group, const QString &app);
    /// What @p change to @p entry from the dialog's fields gave, @p placed: the catalogue's
    /// refusal when it refused a text (the dialog stays open), else a success; any other
    /// failure, and a limit that kept the entry out of @p group, is told once the dialog has
    /// closed.
    Result<void> stored(EntryMessages::Change change, const Selected &entry, const Result<bool> &placed,
                        const QString &group);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

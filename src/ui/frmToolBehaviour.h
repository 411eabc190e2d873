// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ToolBehaviour.h>

#include <QDialog>
#include <QKeySequence>

#include <map>
#include <memory>
#include <utility>

namespace Lanyard {

class LaunchEntries;

/**
 * The tool behaviour window: the tools of one catalogue as a tree of groups and programs
 * (tvTools) and, for the tool chosen there, how it behaves in a Tools menu: its output
 * (cboOutput), its input (cboInput), what is saved before it starts (cboSave), whether the file
 * is reloaded after it (cbReload), the file types it applies to (txtFileTypes), whether it needs
 * a selection (cbNeedsSelection), its shortcut (kseShortcut) and the folder it runs in
 * (txtFolder). Changes are kept in the window until OK (cmdOK) stores them all in the
 * catalogue; Cancel (cmdCancel), Escape and the close box drop them. A shortcut that the host or
 * another tool already has is refused with a message naming the owner.
 */
class frmToolBehaviour : public QDialog
{
    Q_OBJECT

public:
    /// Shortcuts that are taken, each with the text of what it does ("Save", "Find...").
    using TakenShortcuts = QList<std::pair<QKeySequence, QString>>;

    /**
     * Shows the window modally over @p owner for the tools of @p apps, @p current (group,
     * name) chosen when it is one of them; true when the user chose OK and the behaviours
     * were stored.
     */
    static bool edit(LaunchEntries &apps, QWidget *owner, const TakenShortcuts &taken,
                     const std::pair<QString, QString> &current = {});
    /// The shortcuts of the actions of @p window, but the tools' own ("lanyard-tool/...").
    static TakenShortcuts shortcutsOf(const QWidget *window);

    ~frmToolBehaviour() override;

private:
    frmToolBehaviour(LaunchEntries &apps, QWidget *owner, const TakenShortcuts &taken);
    void fill(const std::pair<QString, QString> &current);
    void showTool();
    void takeField();
    void checkShortcut();
    void store();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

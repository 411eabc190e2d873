// SPDX-License-Identifier: MIT
// What an editor adds for a Tools menu of its users' programs: the rest is Lanyard's.
#include "EditorWindow.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>

void EditorWindow::addTools(const QString &listFile)
{
    auto *tools = new Lanyard::ExternalApps(this); // deleted with the window, it saves the changes
    try {
        tools->setEXTFile(listFile);                 // loads the list, and how each tool behaves, kept beside it
    } catch (const Lanyard::ComponentError &error) { // not readable: the menu stays empty, the file as it is
        QMessageBox::warning(this, tr("Tools"), error.message());
    }
    // Asked right before every launch, preview and the placeholder picker: never stale.
    connect(tools, &Lanyard::ExternalApps::placeholdersWanted, this,
            [this, tools] { tools->AddPlaceHolder(QStringLiteral("%FILE%"), fileName()); });
    auto *menu = new Lanyard::ToolsMenu(tools, menuBar()->addMenu(tr("&Tools")), this); // either may go first
    menu->addConfigureActions(); // "Configure Tools..." and "Tool Behaviour...", saved as they close
    menu->setTextEdit(editor(), [this](auto, const QString &text) { statusBar()->showMessage(text); }); // pane
    menu->setCurrentDocument(fileName()); // the tools that fit this file; again when it changes
    connect(menu, &Lanyard::ToolsMenu::saveRequested, this, &EditorWindow::save);
    connect(menu, &Lanyard::ToolsMenu::reloadRequested, this, &EditorWindow::reload);
}

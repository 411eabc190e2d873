// SPDX-License-Identifier: MIT
// What an editor adds for a Tools menu of its users' programs: the rest is Lanyard's.
#include "EditorWindow.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QMenuBar>
#include <QMessageBox>

void EditorWindow::addTools(const QString &listFile)
{
    auto *tools = new Lanyard::ExternalApps(this); // deleted with the window, it saves the changes
    try {
        tools->setEXTFile(listFile); // loads the list
    } catch (const Lanyard::ComponentError &error) { // not readable: the menu stays empty, the file as it is
        QMessageBox::warning(this, tr("Tools"), error.message());
    }
    // Asked right before every launch, preview and the placeholder picker: never stale.
    connect(tools, &Lanyard::ExternalApps::placeholdersWanted, this, [this, tools] {
        tools->AddPlaceHolder(QStringLiteral("%FILE%"), fileName());
        tools->AddPlaceHolder(QStringLiteral("%SELECTION%"), selectedText());
    });
    QMenu *menu = menuBar()->addMenu(tr("&Tools"));
    new Lanyard::ToolsMenu(tools, menu, this); // follows the list; either object may go first
    menu->addSeparator();
    menu->addAction(tr("&Configure Tools..."), this, [this, tools] { tools->ShowForm(1, this); });
}

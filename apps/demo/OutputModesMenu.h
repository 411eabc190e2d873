// SPDX-License-Identifier: MIT
#pragma once

#include <QMenu>

namespace Lanyard {
class ToolsMenu;
} // namespace Lanyard

/// The Tools menu's "Tool output" submenu: for each tool the Tools menu shows, where its output
/// goes (one of the six modes) and whether it reads the selection. The choices live in an INI
/// file of their own, written on every change.
class OutputModesMenu : public QMenu
{
    Q_OBJECT

public:
    OutputModesMenu(Lanyard::ToolsMenu *tools, const QString &settingsFile, QWidget *parent = nullptr);

    /// Takes the choices from the settings file (none when it is not there).
    void load();
    /// Brings the submenus up to date with the catalogue; done each time the menu opens.
    void refresh();

private:
    void addEntry(const QString &group, const QString &app);
    void save() const;

    Lanyard::ToolsMenu *m_tools;
    QString m_settingsFile;
};

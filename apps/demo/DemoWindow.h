// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QActionGroup;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class OutputModesMenu;
class TextView;

#include <Lanyard/ToolsMenu.h>

namespace Lanyard {
class ExternalApps;
} // namespace Lanyard

/// The demo host: a text viewer whose Tools menu starts the programs of a launch list with the
/// viewer's current file, cursor and selection filled in; a tool may read the selection and
/// have its output shown in the output pane, put into the text, into a new document or onto
/// the clipboard.
class DemoWindow : public QMainWindow
{
    Q_OBJECT

public:
    /// Loads the launch list at @p launchList; closing the window's owner deletes the window,
    /// whose ExternalApps then writes the list back.
    explicit DemoWindow(const QString &launchList, QWidget *parent = nullptr);
    ~DemoWindow() override;

    /// Shows the file; false (and a log line) when it cannot be read.
    bool openFile(const QString &path);
    QString filePath() const;

    Lanyard::ExternalApps *externalApps() const;
    Lanyard::ToolsMenu *toolsMenu() const;
    QMenu *toolsMenuWidget() const;
    TextView *textView() const;
    QListWidget *log() const;
    QPlainTextEdit *outputPane() const;
    OutputModesMenu *outputModesMenu() const;
    /// The documents tools opened (OutputMode::NewDocument) that are still open, oldest first.
    QList<QPlainTextEdit *> newDocuments() const;

    /// Hands the viewer's current data to the component; runs before every launch.
    void registerPlaceholders();

public Q_SLOTS:
    void configureTools();

private:
    void createMenus();
    void createLogPane();
    void createOutputPane();
    void hookUpTools();
    /// Puts a tool's output where @p mode says.
    void takeOutput(Lanyard::ToolsMenu::OutputMode mode, const QString &text);
    void createStatusBar();
    void chooseFile();
    void setLanguage(QAction *action);
    void updateCursorStatus();
    void logLine(const QString &iconName, const QString &text);

    std::unique_ptr<Lanyard::ExternalApps> m_apps;
    Lanyard::ToolsMenu *m_tools = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QAction *m_configure = nullptr;
    TextView *m_view = nullptr;
    QListWidget *m_log = nullptr;
    QPlainTextEdit *m_output = nullptr;
    OutputModesMenu *m_outputModes = nullptr;
    QList<QPointer<QPlainTextEdit>> m_newDocuments; // closing one deletes it
    QLabel *m_fileStatus = nullptr;
    QLabel *m_cursorStatus = nullptr;
    QString m_file;
};

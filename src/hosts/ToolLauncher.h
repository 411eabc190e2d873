// SPDX-License-Identifier: MIT
#pragma once

#include "OutputDelivery.h"
#include "util/FileVersion.h"

#include <Lanyard/LaunchCommand.h>
#include <Lanyard/ToolRun.h>

#include <QHash>
#include <QPointer>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QAction;

namespace Lanyard {

class ExternalApps;

/**
 * How a pick in a ToolsMenu becomes a launch: the host asked to save first, the values the
 * command line asks of the user, then ExternalApps::launchTool for a tool that is only started,
 * or a run (ExternalApps::startTool) followed to its end for one that reads, talks back, runs
 * in a folder of its own or reloads after: its output delivered, the host told to reload a file
 * the tool changed. One run per action at a time: picking it again cancels the run before.
 * The menu's signals are emitted on its behalf.
 */
class ToolLauncher : public QObject
{
    Q_OBJECT

public:
    ToolLauncher(ToolsMenu *menu, OutputDelivery &delivery);
    ~ToolLauncher() override;

    /// Launches @p tool of @p apps as @p behaviour says, picked through @p action, while the
    /// host shows @p currentFile.
    void launch(ExternalApps &apps, const std::pair<QString, QString> &tool, const ToolBehaviour &behaviour,
                const QAction *action, const QString &currentFile);
    /// The launch being prepared does not start.
    void cancelLaunch() { m_cancelled = true; }
    /// Cancels the run @p action started (every run for none); it delivers nothing.
    void cancelRuns(const QAction *action = nullptr);

private:
    std::optional<LaunchOptions> askForValues(ExternalApps &apps, const std::pair<QString, QString> &tool,
                                              const ToolBehaviour &behaviour);
    /// The current file when the tool started, and its version then (none: not followed).
    struct FileAtStart
    {
        QString name;
        std::optional<FileVersion> version;
    };
    void follow(ToolRun *run, const std::pair<QString, QString> &tool, const ToolBehaviour &behaviour,
                const OutputDelivery::Aim &aim, const FileAtStart &file);

    ToolsMenu *m_menu;
    OutputDelivery &m_delivery;
    bool m_cancelled = false;
    QHash<QString, QStringList> m_answers; // by the %ASK% it answered, most recent first
    std::vector<std::pair<QPointer<const QAction>, QPointer<ToolRun>>> m_runs;
};

} // namespace Lanyard

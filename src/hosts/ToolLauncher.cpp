// SPDX-License-Identifier: MIT
#include "ToolLauncher.h"

#include <Lanyard/ExternalApps.h>

#include "ui/Captions.h"
#include "ui/frmAskValue.h"

#include <QApplication>
#include <QMenu>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

using Tool = std::pair<QString, QString>;
constexpr qsizetype answersKept = 10;

/// What a run wrote, gathered until it ends (for every mode but the pane's).
struct Captured
{
    QString output;
    QString error;
};

} // namespace

ToolLauncher::ToolLauncher(ToolsMenu *menu, OutputDelivery &delivery)
    : m_menu(menu)
    , m_delivery(delivery)
{
}

ToolLauncher::~ToolLauncher() { cancelRuns(); }

void ToolLauncher::launch(ExternalApps &apps, const Tool &tool, const ToolBehaviour &behaviour, const QAction *action,
                          const QString &currentFile)
{
    // Handlers may delete the menu (and this with it) or the catalogue: each step looks first.
    const QPointer<ToolsMenu> menu(m_menu);
    const QPointer<ExternalApps> alive(&apps);
    Q_EMIT m_menu->aboutToLaunch(tool.first, tool.second);
    if (!menu || !alive)
        return;
    if (behaviour.saveBefore != ToolBehaviour::Save::Nothing) {
        m_cancelled = false;
        Q_EMIT m_menu->saveRequested(behaviour.saveBefore);
        if (!menu || !alive || std::exchange(m_cancelled, false))
            return;
    }
    const std::optional<LaunchOptions> options = askForValues(apps, tool, behaviour);
    if (!options || !menu || !alive)
        return;
    if (!behaviour.runs()) {
        const bool ok = apps.launchTool(tool.first, tool.second, *options);
        if (menu)
            Q_EMIT m_menu->launched(tool.first, tool.second, ok);
        return;
    }
    cancelRuns(action);
    const OutputDelivery::Aim aim = m_delivery.aim(behaviour);
    const QString input = behaviour.input == ToolBehaviour::Input::None ? QString() : aim.given;
    // Taken before the start: a quick tool may have changed the file by the time it returns.
    const std::optional<FileVersion> before = behaviour.reloadAfter ? FileVersion::of(currentFile) : std::nullopt;
    ToolRun *run = apps.startTool(tool.first, tool.second, input.toUtf8(), ToolRun::Input::Bytes, *options);
    if (!run || !menu)
        return;
    m_runs.emplace_back(action, run);
    follow(run, tool, behaviour, aim, {currentFile, before});
}

std::optional<LaunchOptions> ToolLauncher::askForValues(ExternalApps &apps, const Tool &tool,
                                                        const ToolBehaviour &behaviour)
{
    static const QRegularExpression asked(uR"(%ASK(?::([^%\r\n]*))?%)"_s);
    LaunchOptions options;
    options.folder = behaviour.folder;
    const Result<Entry> entry = apps.entry(tool.first, tool.second);
    const QString texts = (entry ? entry->cmdLine : QString()) + u'\n' + behaviour.folder;
    QStringList done;
    QWidget *owner = m_menu->menu() && m_menu->menu()->parentWidget() ? m_menu->menu()->parentWidget()->window()
                                                                      : QApplication::activeWindow();
    for (const QRegularExpressionMatch &match : asked.globalMatch(texts)) {
        const QString label = match.captured(0);
        if (done.contains(label))
            continue;
        const QPointer<ToolsMenu> menu(m_menu);
        const std::optional<QString> value = frmAskValue::ask(owner, tool.second, match.captured(1),
                                                              m_answers.value(label));
        if (!value || !menu)
            return std::nullopt;
        QStringList &answers = m_answers[label];
        answers.removeAll(*value);
        answers.prepend(*value);
        answers = answers.mid(0, answersKept);
        options.values.append({label, *value});
        done << label;
    }
    return options;
}

void ToolLauncher::follow(ToolRun *run, const Tool &tool, const ToolBehaviour &behaviour,
                          const OutputDelivery::Aim &aim, const FileAtStart &file)
{
    using Mode = ToolsMenu::OutputMode;
    const bool pane = behaviour.output == Mode::Pane;
    auto captured = std::make_shared<Captured>();
    // The pane takes the output as it comes: a long build shows its progress.
    connect(run, &ToolRun::standardOutputText, this, [this, captured, pane](const QString &text) {
        if (pane)
            m_delivery.stream(text);
        else
            captured->output += text;
    });
    connect(run, &ToolRun::standardErrorText, this, [this, captured, pane](const QString &text) {
        if (pane)
            m_delivery.stream(text);
        else
            captured->error += text;
    });
    const auto forget = [this](const ToolRun *ended) {
        std::erase_if(m_runs, [ended](const auto &entry) { return entry.second == ended; });
    };
    connect(run, &ToolRun::failedToStart, this, [this, run, tool, forget](const QString &reason) {
        forget(run);
        run->deleteLater();
        Q_EMIT m_menu->runFailed(tool.first, tool.second, reason);
    });
    connect(run, &ToolRun::finished, this, [=, this](int exitCode) {
        forget(run);
        run->deleteLater();
        if (run->state() == ToolRun::State::Cancelled)
            return;
        const QPointer<ToolsMenu> menu(m_menu);
        if (!pane && exitCode != 0) {
            const QString error = captured->error.trimmed();
            Q_EMIT m_menu->runFailed(tool.first, tool.second,
                                     error.isEmpty() ? u"exited with status %1"_s.arg(exitCode) : error);
        } else if (!pane && !m_delivery.deliver(aim, behaviour.output, captured->output)) {
            Q_EMIT m_menu->outputHeldBack(tool.first, tool.second, captured->output,
                                          Captions::text(TextId::OutputHeldBack).arg(tool.second));
        }
        if (menu && behaviour.reloadAfter && FileVersion::of(file.name) != file.version)
            Q_EMIT m_menu->reloadRequested(file.name);
        if (menu)
            Q_EMIT m_menu->runFinished(tool.first, tool.second, exitCode);
    });
}

void ToolLauncher::cancelRuns(const QAction *action)
{
    for (auto &[starter, run] : m_runs) {
        if (run && (starter == action || !action)) {
            QObject::disconnect(run, nullptr, this, nullptr);
            run->cancel();
            run->deleteLater();
        }
    }
    std::erase_if(m_runs, [](const auto &entry) { return !entry.second; });
}

} // namespace Lanyard

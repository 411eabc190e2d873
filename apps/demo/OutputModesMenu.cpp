// SPDX-License-Identifier: MIT
#include "OutputModesMenu.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QActionGroup>
#include <QSettings>

using namespace Qt::StringLiterals;
using Lanyard::ToolsMenu;
using OutputMode = ToolsMenu::OutputMode;

namespace {

QString modeCaption(OutputMode mode)
{
    switch (mode) {
    case OutputMode::Ignore:
        return OutputModesMenu::tr("&Ignore output");
    case OutputMode::Pane:
        return OutputModesMenu::tr("Show in output &pane");
    case OutputMode::InsertAtCursor:
        return OutputModesMenu::tr("Insert at &cursor");
    case OutputMode::ReplaceSelection:
        return OutputModesMenu::tr("&Replace selection");
    case OutputMode::NewDocument:
        return OutputModesMenu::tr("&New document");
    case OutputMode::Clipboard:
        return OutputModesMenu::tr("Copy to c&lipboard");
    }
    return QString();
}

constexpr OutputMode modes[] = {OutputMode::Ignore,           OutputMode::Pane,        OutputMode::InsertAtCursor,
                                OutputMode::ReplaceSelection, OutputMode::NewDocument, OutputMode::Clipboard};

QString menuText(QString name) { return name.replace(u'&', u"&&"_s); }

} // namespace

OutputModesMenu::OutputModesMenu(ToolsMenu *tools, const QString &settingsFile, QWidget *parent)
    : QMenu(tr("Tool &output"), parent)
    , m_tools(tools)
    , m_settingsFile(settingsFile)
{
    setObjectName(u"menuToolOutput"_s);
    connect(this, &QMenu::aboutToShow, this, &OutputModesMenu::refresh);
}

void OutputModesMenu::load()
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(u"output"_s);
    m_tools->loadModes(settings);
}

void OutputModesMenu::save() const
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(u"output"_s);
    m_tools->saveModes(settings);
}

void OutputModesMenu::refresh()
{
    for (QAction *action : actions()) {
        removeAction(action);
        if (QMenu *submenu = action->menu())
            submenu->deleteLater();
    }
    const Lanyard::ExternalApps *apps = m_tools->externalApps();
    for (qint16 group = 0; apps && group < apps->GroupCount(); ++group) {
        for (qint16 app = 0; app < apps->AppCount(group); ++app) {
            if (m_tools->showProtected() || apps->AppProtected(group, app) == 0)
                addEntry(apps->GroupName(group), apps->ApplicationName(group, app));
        }
    }
}

void OutputModesMenu::addEntry(const QString &group, const QString &app)
{
    QMenu *entry = addMenu(menuText(group) + u" \u203a "_s + menuText(app));
    entry->setObjectName(u"outputModes/"_s + group + u'/' + app);
    auto *choices = new QActionGroup(entry);
    for (const OutputMode mode : modes) {
        QAction *choice = entry->addAction(modeCaption(mode));
        choice->setCheckable(true);
        choice->setChecked(m_tools->outputMode(group, app) == mode);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, group, app, mode] {
            m_tools->setOutputMode(group, app, mode);
            save();
        });
    }
    entry->addSeparator();
    QAction *input = entry->addAction(tr("&Selection as input"));
    input->setCheckable(true);
    input->setChecked(m_tools->selectionAsInput(group, app));
    connect(input, &QAction::toggled, this, [this, group, app](bool checked) {
        m_tools->setSelectionAsInput(group, app, checked);
        save();
    });
}

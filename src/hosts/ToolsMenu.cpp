// SPDX-License-Identifier: MIT
#include <Lanyard/ToolsMenu.h>

#include <Lanyard/ExternalApps.h>

#include "OutputDelivery.h"
#include "ToolActions.h"
#include "ToolLauncher.h"
#include "ui/Captions.h"
#include "ui/RenameNotice.h"

#include <QAction>
#include <QMenu>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>
#include <QTextEdit>
#include <QUrl>

#include <optional>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

using Tool = ToolActions::Tool;
using OutputMode = ToolsMenu::OutputMode;

const QString selectionInputWord = u"SelectionInput"_s;

/// A name as one part of a settings key: QSettings takes "/" and backslash as separators and drops
/// empty parts; a name never holds a NUL.
QString settingsKeyPart(const QString &name)
{
    if (name.isEmpty())
        return u"%00"_s;
    QString part = name;
    return part.replace(u'%', u"%25"_s).replace(u'/', u"%2F"_s).replace(u'\\', u"%5C"_s);
}

std::optional<QString> nameFromKeyPart(const QString &part)
{
    if (part == u"%00")
        return QString();
    if (part.isEmpty())
        return std::nullopt;
    return QUrl::fromPercentEncoding(part.toUtf8());
}

} // namespace

struct LANYARD_NO_EXPORT ToolsMenu::Private
{
    QPointer<ExternalApps> apps;
    QPointer<QMenu> menu;
    std::unique_ptr<QMenu> ownedMenu;
    bool showProtected = false;
    // The host's text; without one the menu says it in the catalogue's language.
    std::optional<QString> emptyText;
    QString currentFile;
    OutputDelivery delivery;
    std::unique_ptr<ToolActions> actions;
    std::unique_ptr<ToolLauncher> launcher;
    QMetaObject::Connection selectionWatch;

    QString placeholderText() const
    {
        return emptyText.value_or(
            Captions::text(TextId::NoToolsConfigured, apps ? apps->Language() : Language::lEnglish));
    }
    QWidget *window() const { return menu && menu->parentWidget() ? menu->parentWidget()->window() : nullptr; }
    ToolBehaviour behaviour(const QString &group, const QString &app) const
    {
        return apps ? apps->toolBehaviour(group, app) : ToolBehaviour();
    }
    void setBehaviour(const QString &group, const QString &app, const ToolBehaviour &behaviour)
    {
        if (apps)
            apps->setToolBehaviour(group, app, behaviour);
    }
    void follow(ToolsMenu *owner, ExternalApps *catalogue);
};

void ToolsMenu::Private::follow(ToolsMenu *owner, ExternalApps *catalogue)
{
    apps = catalogue;
    actions = std::make_unique<ToolActions>(menu, [owner](const QAction *action) { owner->launch(action); });
    launcher = std::make_unique<ToolLauncher>(owner, delivery);
    connect(RenameNotice::instance(), &RenameNotice::renaming, owner,
            [this](const QObject *renamed, const QString &group, const QString &app, const QString &newGroup,
                   const QString &newApp) {
                if (renamed == apps)
                    actions->renaming({group, app}, {newGroup, newApp});
            });
    if (!catalogue)
        return;
    connect(catalogue, &ExternalApps::catalogueChanged, owner, &ToolsMenu::rebuild);
    connect(catalogue, &ExternalApps::toolBehaviourChanged, owner, &ToolsMenu::rebuild);
    // What the user confirmed in the program list window reaches the other windows and programs
    // at once, not only at the release.
    connect(catalogue, &ExternalApps::formClosed, owner, [this] {
        if (apps)
            apps->save();
    });
    // Destroyed is emitted once the catalogue is only a QObject: apps is null by then, and
    // nothing here may call into it.
    connect(catalogue, &QObject::destroyed, owner, [this] {
        launcher->cancelRuns();
        actions->empty();
    });
}

ToolsMenu::ToolsMenu(ExternalApps *apps, QMenu *menu, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->menu = menu;
    d->follow(this, apps);
    rebuild();
}

ToolsMenu::ToolsMenu(ExternalApps *apps, const QString &title, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->ownedMenu = std::make_unique<QMenu>(title);
    d->menu = d->ownedMenu.get();
    d->follow(this, apps);
    rebuild();
}

ToolsMenu::~ToolsMenu()
{
    d->launcher->cancelRuns();
    // A host-owned menu keeps the host's actions but loses the entries, which would
    // otherwise call into this object.
    if (d->menu && !d->ownedMenu) {
        for (QAction *action : d->actions->ownActions()) {
            d->menu->removeAction(action);
            if (QMenu *submenu = action->menu())
                delete submenu; // takes its menu action along
            else
                delete action;
        }
    }
}

QMenu *ToolsMenu::menu() const { return d->menu; }

ExternalApps *ToolsMenu::externalApps() const { return d->apps; }

bool ToolsMenu::showProtected() const { return d->showProtected; }

void ToolsMenu::setShowProtected(bool show)
{
    if (d->showProtected == show)
        return;
    d->showProtected = show;
    rebuild();
    Q_EMIT showProtectedChanged();
}

QString ToolsMenu::emptyText() const { return d->placeholderText(); }

void ToolsMenu::setEmptyText(const QString &text)
{
    d->emptyText = text;
    rebuild();
}

void ToolsMenu::addConfigureActions()
{
    if (!d->menu)
        return;
    const Language language = d->apps ? d->apps->Language() : Language::lEnglish;
    d->menu->addSeparator();
    QAction *configure = d->menu->addAction(Captions::text(TextId::ConfigureTools, language));
    configure->setObjectName(u"lanyard-configure-tools"_s);
    connect(configure, &QAction::triggered, this, [this] {
        if (d->apps)
            d->apps->ShowForm(1, d->window()); // saved as it closes (formClosed)
    });
    QAction *behaviour = d->menu->addAction(Captions::text(TextId::ToolBehaviourMenu, language));
    behaviour->setObjectName(u"lanyard-tool-behaviour"_s);
    connect(behaviour, &QAction::triggered, this, [this] { showBehaviourWindow(); });
}

bool ToolsMenu::showBehaviourWindow(QWidget *owner, const QString &group, const QString &app)
{
    const QPointer<ExternalApps> apps = d->apps;
    if (!apps || !apps->ShowBehaviourForm(owner ? owner : d->window(), group, app))
        return false;
    if (apps)
        apps->save();
    return true;
}

void ToolsMenu::setDocumentHooks(SelectionHook selection, OutputHook output, DocumentHook document)
{
    disconnect(d->selectionWatch);
    d->delivery.setHooks(std::move(selection), std::move(output), std::move(document));
}

void ToolsMenu::setTextEdit(QWidget *editor, OutputHook others)
{
    disconnect(d->selectionWatch);
    d->delivery.setTextEdit(editor, std::move(others));
    // Tools that need a selection follow the editor's.
    if (auto *plain = qobject_cast<QPlainTextEdit *>(editor))
        d->selectionWatch = connect(plain, &QPlainTextEdit::copyAvailable, this, &ToolsMenu::setHasSelection);
    else if (auto *rich = qobject_cast<QTextEdit *>(editor))
        d->selectionWatch = connect(rich, &QTextEdit::copyAvailable, this, &ToolsMenu::setHasSelection);
}

void ToolsMenu::setCurrentDocument(const QString &fileName, const QString &mimeType)
{
    d->currentFile = fileName;
    d->actions->filter().setDocument(fileName, mimeType);
    d->actions->refilter();
}

void ToolsMenu::setHasSelection(bool hasSelection)
{
    if (d->actions->filter().hasSelection() == hasSelection)
        return;
    d->actions->filter().setHasSelection(hasSelection);
    d->actions->refilter();
}

void ToolsMenu::cancelLaunch() { d->launcher->cancelLaunch(); }

void ToolsMenu::rebuild()
{
    // Without its catalogue the menu stays as empty() left it.
    if (d->menu && d->apps)
        d->actions->rebuild(*d->apps, d->showProtected, d->placeholderText());
}

void ToolsMenu::launch(const QAction *action)
{
    // The entry the action stands for now: a rename in the window may have given it new names.
    const std::optional<Tool> tool = d->actions->toolOf(action);
    if (tool && d->apps)
        d->launcher->launch(*d->apps, *tool, d->behaviour(tool->first, tool->second), action, d->currentFile);
}

ToolsMenu::OutputMode ToolsMenu::outputMode(const QString &group, const QString &app) const
{
    return d->behaviour(group, app).output;
}

void ToolsMenu::setOutputMode(const QString &group, const QString &app, OutputMode mode)
{
    ToolBehaviour behaviour = d->behaviour(group, app);
    behaviour.output = mode;
    d->setBehaviour(group, app, behaviour);
}

bool ToolsMenu::selectionAsInput(const QString &group, const QString &app) const
{
    return d->behaviour(group, app).input == ToolBehaviour::Input::Selection;
}

void ToolsMenu::setSelectionAsInput(const QString &group, const QString &app, bool input)
{
    ToolBehaviour behaviour = d->behaviour(group, app);
    behaviour.input = input ? ToolBehaviour::Input::Selection : ToolBehaviour::Input::None;
    d->setBehaviour(group, app, behaviour);
}

void ToolsMenu::saveModes(QSettings &settings) const
{
    settings.remove(QString());
    const QMetaEnum modes = QMetaEnum::fromType<OutputMode>();
    for (qint16 group = 0; d->apps && group < d->apps->GroupCount(); ++group) {
        for (qint16 app = 0; app < d->apps->AppCount(group); ++app) {
            const QString groupName = d->apps->GroupName(group);
            const QString name = d->apps->ApplicationName(group, app);
            const ToolBehaviour behaviour = d->behaviour(groupName, name);
            if (behaviour.output == OutputMode::Ignore && behaviour.input != ToolBehaviour::Input::Selection)
                continue;
            QStringList words{QString::fromLatin1(modes.valueToKey(int(behaviour.output)))};
            if (behaviour.input == ToolBehaviour::Input::Selection)
                words << selectionInputWord;
            settings.setValue(settingsKeyPart(groupName) + u'/' + settingsKeyPart(name), words);
        }
    }
}

void ToolsMenu::loadModes(QSettings &settings)
{
    std::map<Tool, QStringList> saved;
    for (const QString &key : settings.allKeys()) {
        const QStringList parts = key.split(u'/');
        const auto group = nameFromKeyPart(parts.value(0));
        const auto app = nameFromKeyPart(parts.value(1));
        if (parts.size() == 2 && group && app)
            saved[{*group, *app}] = settings.value(key).toStringList();
    }
    const QMetaEnum modes = QMetaEnum::fromType<OutputMode>();
    for (qint16 group = 0; d->apps && group < d->apps->GroupCount(); ++group) {
        for (qint16 app = 0; app < d->apps->AppCount(group); ++app) {
            const Tool tool{d->apps->GroupName(group), d->apps->ApplicationName(group, app)};
            ToolBehaviour behaviour = d->behaviour(tool.first, tool.second);
            behaviour.output = OutputMode::Ignore;
            behaviour.input = ToolBehaviour::Input::None;
            for (const QString &word : saved[tool]) {
                bool known = false;
                const int mode = modes.keyToValue(word.trimmed().toLatin1().constData(), &known);
                if (known)
                    behaviour.output = OutputMode(mode);
                if (word.trimmed() == selectionInputWord)
                    behaviour.input = ToolBehaviour::Input::Selection;
            }
            d->setBehaviour(tool.first, tool.second, behaviour);
        }
    }
}

} // namespace Lanyard

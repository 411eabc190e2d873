// SPDX-License-Identifier: MIT
#include <Lanyard/ToolsMenu.h>

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include "ui/Captions.h"
#include "ui/RenameNotice.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QMetaEnum>
#include <QPointer>
#include <QSettings>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

using EntryKey = std::pair<QString, QString>; // group, application
using OutputMode = ToolsMenu::OutputMode;

/// How an entry talks back; the default launches through ExecuteApp.
struct Handling
{
    OutputMode output = OutputMode::Ignore;
    bool input = false;

    bool talks() const { return output != OutputMode::Ignore || input; }
};

/// What a run wrote, gathered until it ends.
struct Captured
{
    QString output;   // standard output
    QString error;    // standard error
    QString together; // both, in the order they came
};

const QString selectionInputWord = u"SelectionInput"_s;

/// A name shown as it stands: "&" would otherwise mark a mnemonic.
QString menuText(const QString &name)
{
    QString text = name;
    return text.replace(u'&', u"&&"_s);
}

/// A name as a part of an object name: "/" separates the parts.
QString objectNamePart(const QString &name)
{
    QString part = name;
    return part.replace(u'%', u"%25"_s).replace(u'/', u"%2F"_s);
}

/// A name as one part of a settings key: QSettings takes "/" and backslash as separators and drops
/// empty parts; a name never holds a NUL.
QString settingsKeyPart(const QString &name)
{
    return name.isEmpty() ? u"%00"_s : objectNamePart(name).replace(u'\\', u"%5C"_s);
}

std::optional<QString> nameFromKeyPart(const QString &part)
{
    if (part == u"%00")
        return QString();
    if (part.isEmpty())
        return std::nullopt;
    return QUrl::fromPercentEncoding(part.toUtf8());
}

/// The settings value of a handling: its output mode and, when set, the input word.
QStringList settingsValue(const Handling &handling)
{
    QStringList words{QString::fromLatin1(QMetaEnum::fromType<OutputMode>().valueToKey(int(handling.output)))};
    if (handling.input)
        words << selectionInputWord;
    return words;
}

Handling handlingFromValue(const QStringList &words)
{
    Handling handling;
    const QMetaEnum modes = QMetaEnum::fromType<OutputMode>();
    for (const QString &word : words) {
        bool known = false;
        const int mode = modes.keyToValue(word.trimmed().toLatin1().constData(), &known);
        if (known)
            handling.output = OutputMode(mode);
        handling.input = handling.input || word.trimmed() == selectionInputWord;
    }
    return handling;
}

/// Output that goes into a line of text loses the line break a program ends with, unless the
/// text it read ended with one too: `sort` on two selected lines replaces just those.
QString fitted(OutputMode mode, QString text, const QString &input)
{
    const bool intoText = mode == OutputMode::InsertAtCursor || mode == OutputMode::ReplaceSelection
                          || mode == OutputMode::Clipboard;
    if (intoText && text.endsWith(u'\n') && !input.endsWith(u'\n'))
        text.chop(1);
    return text;
}

/// Takes @p object out of the menus it is in and deletes it once control is back in the event
/// loop: rebuild may run from inside one of its own actions' triggers.
void discard(QAction *action)
{
    for (QObject *widget : action->associatedObjects()) {
        if (auto *menu = qobject_cast<QMenu *>(widget))
            menu->removeAction(action);
    }
    if (QMenu *submenu = action->menu())
        submenu->deleteLater();
    else
        action->deleteLater();
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
    // What rebuild() put into the menu, kept across rebuilds for the entries that stay; the
    // host's own actions are never touched.
    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QPointer<QAction> placeholder;
    // Entries EditApp renamed or moved since the last rebuild, in order: their
    // actions and handlings go with them.
    std::vector<std::pair<EntryKey, EntryKey>> renames;
    // The host's choices, by entry, also for entries hidden or not loaded yet.
    std::map<EntryKey, Handling> handlings;
    ToolsMenu::SelectionHook selection;
    ToolsMenu::OutputHook output;
    // Runs still going, with the action that started each.
    std::vector<std::pair<QPointer<const QAction>, QPointer<ToolRun>>> runs;

    QString placeholderText() const
    {
        return emptyText.value_or(
            Captions::text(TextId::NoToolsConfigured, apps ? apps->Language() : Language::lEnglish));
    }
    /// The entries of the catalogue, hidden ones included.
    std::set<EntryKey> catalogueEntries() const;
    /// Gives the actions and handlings of renamed entries their new keys, where the old entry went.
    void followRenames(const std::set<EntryKey> &present);
    Handling handling(const EntryKey &entry) const;
    void setHandling(const EntryKey &entry, const Handling &handling);
    /// Cancels the run that @p action started (every run for none), if it still goes; it
    /// delivers nothing.
    void cancelRun(ToolsMenu *owner, const QAction *action);
    void forget(const ToolRun *run);
    /// Puts what a run wrote where @p mode says; the reason when a failing status kept it back.
    std::optional<QString> deliver(OutputMode mode, int exitCode, const Captured &captured, const QString &input) const;
    void listenForRenames(ToolsMenu *owner);
    QMenu *groupMenu(const QString &group);
    QAction *toolAction(ToolsMenu *owner, QMenu *submenu, qint16 groupIndex, qint16 appIndex);
    /// The menu actions of the groups and the placeholder, in menu order.
    QList<QAction *> ownActions() const;
    /// Takes the entries out of the menu for good, leaving the host's actions.
    void empty();
    void follow(ToolsMenu *owner, ExternalApps *catalogue);
};

QMenu *ToolsMenu::Private::groupMenu(const QString &group)
{
    QPointer<QMenu> &submenu = groups[group];
    if (!submenu) {
        submenu = new QMenu(menuText(group), menu);
        submenu->setObjectName(u"lanyard-group/"_s + objectNamePart(group));
        submenu->setIcon(QIcon(u":/lanyard/icons/group.svg"_s));
    }
    return submenu;
}

QAction *ToolsMenu::Private::toolAction(ToolsMenu *owner, QMenu *submenu, qint16 groupIndex, qint16 appIndex)
{
    const QString group = apps->GroupName(groupIndex);
    const QString app = apps->ApplicationName(groupIndex, appIndex);
    QPointer<QAction> &action = tools[{group, app}];
    if (!action) {
        action = new QAction(submenu);
        QAction *made = action;
        connect(action, &QAction::triggered, owner, [owner, made] { owner->launch(made); });
    }
    // A renamed entry's action shows its new names.
    if (action->parent() != submenu)
        action->setParent(submenu);
    action->setText(menuText(app));
    action->setObjectName(u"lanyard-tool/"_s + objectNamePart(group) + u'/' + objectNamePart(app));
    action->setIcon(apps->Icon(groupIndex, appIndex));
    return action;
}

std::set<EntryKey> ToolsMenu::Private::catalogueEntries() const
{
    std::set<EntryKey> entries;
    for (qint16 group = 0; apps && group < apps->GroupCount(); ++group) {
        for (qint16 app = 0; app < apps->AppCount(group); ++app)
            entries.insert({apps->GroupName(group), apps->ApplicationName(group, app)});
    }
    return entries;
}

void ToolsMenu::Private::followRenames(const std::set<EntryKey> &present)
{
    for (const auto &[from, to] : std::exchange(renames, {})) {
        // A change the catalogue refused leaves the entry where it was, with its action.
        if (present.count(from) || !present.count(to))
            continue;
        if (auto found = tools.find(from); found != tools.end() && found->second && !tools.count(to)) {
            tools[to] = found->second;
            tools.erase(found);
        }
        if (auto found = handlings.find(from); found != handlings.end()) {
            handlings[to] = found->second;
            handlings.erase(found);
        }
    }
}

Handling ToolsMenu::Private::handling(const EntryKey &entry) const
{
    const auto found = handlings.find(entry);
    return found == handlings.end() ? Handling() : found->second;
}

void ToolsMenu::Private::setHandling(const EntryKey &entry, const Handling &handling)
{
    if (handling.talks())
        handlings[entry] = handling;
    else
        handlings.erase(entry);
}

void ToolsMenu::Private::cancelRun(ToolsMenu *owner, const QAction *action)
{
    for (auto &[starter, run] : runs) {
        if (run && (starter == action || !action)) {
            QObject::disconnect(run, nullptr, owner, nullptr);
            run->cancel();
            run->deleteLater();
        }
    }
    std::erase_if(runs, [](const auto &entry) { return !entry.second; });
}

std::optional<QString> ToolsMenu::Private::deliver(OutputMode mode, int exitCode, const Captured &captured,
                                                   const QString &input) const
{
    if (mode == OutputMode::Pane) {
        if (output)
            output(mode, captured.together);
        return std::nullopt;
    }
    if (exitCode != 0) {
        const QString error = captured.error.trimmed();
        return error.isEmpty() ? u"exited with status %1"_s.arg(exitCode) : error;
    }
    const QString text = fitted(mode, captured.output, input);
    switch (mode) {
    case OutputMode::Ignore:
    case OutputMode::Pane:
        break;
    case OutputMode::Clipboard:
        if (qGuiApp) // the menu needs one; a host tearing down may have none left
            QGuiApplication::clipboard()->setText(text);
        break;
    case OutputMode::InsertAtCursor:
    case OutputMode::ReplaceSelection:
    case OutputMode::NewDocument:
        if (output)
            output(mode, text);
        break;
    }
    return std::nullopt;
}

void ToolsMenu::Private::forget(const ToolRun *run)
{
    std::erase_if(runs, [run](const auto &entry) { return entry.second == run; });
}

void ToolsMenu::Private::listenForRenames(ToolsMenu *owner)
{
    connect(RenameNotice::instance(), &RenameNotice::renaming, owner,
            [this](const QObject *catalogue, const QString &group, const QString &app, const QString &newGroup,
                   const QString &newApp) {
                if (catalogue == apps)
                    renames.emplace_back(EntryKey{group, app}, EntryKey{newGroup, newApp});
            });
}

QList<QAction *> ToolsMenu::Private::ownActions() const
{
    QList<QAction *> actions;
    for (const auto &[name, submenu] : groups) {
        if (submenu)
            actions << submenu->menuAction();
    }
    if (placeholder)
        actions << placeholder;
    return actions;
}

void ToolsMenu::Private::empty()
{
    for (QAction *action : ownActions())
        discard(action);
    groups.clear();
    tools.clear();
    placeholder = nullptr;
    renames.clear();
}

void ToolsMenu::Private::follow(ToolsMenu *owner, ExternalApps *catalogue)
{
    apps = catalogue;
    listenForRenames(owner);
    if (!catalogue)
        return;
    connect(catalogue, &ExternalApps::catalogueChanged, owner, &ToolsMenu::rebuild);
    // Destroyed is emitted once the catalogue is only a QObject: apps is null by then, and
    // nothing here may call into it.
    connect(catalogue, &QObject::destroyed, owner, [this] { empty(); });
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
    d->cancelRun(this, nullptr);
    // A host-owned menu keeps the host's actions but loses the entries, which would
    // otherwise call into this object.
    if (d->menu && !d->ownedMenu) {
        for (QAction *action : d->ownActions()) {
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

void ToolsMenu::rebuild()
{
    // Without its catalogue the menu stays as empty() left it.
    if (!d->menu || !d->apps)
        return;
    QMenu *menu = d->menu;
    // The host's own actions follow the entries.
    const QList<QAction *> previous = d->ownActions();
    QAction *before = nullptr;
    for (QAction *action : menu->actions()) {
        if (!previous.contains(action)) {
            before = action;
            break;
        }
    }
    for (QAction *action : previous)
        menu->removeAction(action);

    ExternalApps *apps = d->apps;
    d->followRenames(d->catalogueEntries());

    std::map<QString, QPointer<QMenu>> groups;
    std::map<EntryKey, QPointer<QAction>> tools;
    QList<QAction *> entries;
    for (qint16 group = 0; group < apps->GroupCount(); ++group) {
        const QString groupName = apps->GroupName(group);
        QList<QAction *> visible;
        QMenu *submenu = nullptr;
        for (qint16 app = 0; app < apps->AppCount(group); ++app) {
            if (!d->showProtected && apps->AppProtected(group, app) != 0)
                continue;
            submenu = submenu ? submenu : d->groupMenu(groupName);
            QAction *action = d->toolAction(this, submenu, group, app);
            visible << action;
            tools[{groupName, apps->ApplicationName(group, app)}] = action;
        }
        if (!submenu)
            continue;
        for (QAction *action : submenu->actions())
            submenu->removeAction(action);
        submenu->addActions(visible);
        groups[groupName] = submenu;
        entries << submenu->menuAction();
    }
    // Entries that went: their actions go with them, the others stay as the host set them up.
    for (auto &[key, action] : d->tools) {
        if (action && !tools.count(key))
            discard(action);
    }
    for (auto &[name, submenu] : d->groups) {
        if (submenu && !groups.count(name))
            discard(submenu->menuAction());
    }
    d->tools = std::move(tools);
    d->groups = std::move(groups);

    const QString emptyText = d->placeholderText();
    const bool empty = entries.isEmpty() && !emptyText.isEmpty();
    if (empty && !d->placeholder) {
        d->placeholder = new QAction(menu);
        d->placeholder->setEnabled(false);
    } else if (!empty && d->placeholder) {
        discard(d->placeholder);
        d->placeholder = nullptr;
    }
    if (d->placeholder) {
        d->placeholder->setText(emptyText);
        entries << d->placeholder;
    }
    menu->insertActions(before, entries);
}

void ToolsMenu::launch(const QAction *action)
{
    // The entry the action stands for now: a rename in the window may have given it new names.
    for (const auto &[key, tool] : d->tools) {
        if (tool == action) {
            // A copy: a host rebuilding from the signals replaces the map the key is in.
            const EntryKey entry = key;
            if (d->handling(entry).talks())
                return startRun(action, entry.first, entry.second);
            return launch(entry.first, entry.second);
        }
    }
}

void ToolsMenu::launch(const QString &group, const QString &app)
{
    QPointer<ToolsMenu> self(this);
    Q_EMIT aboutToLaunch(group, app);
    if (!self || !d->apps)
        return;
    // An entry that went away behind the menu's back fails as launchFailed, never by throwing.
    const bool ok = d->apps->ExecuteApp(group, app);
    if (self)
        Q_EMIT launched(group, app, ok);
}

void ToolsMenu::startRun(const QAction *action, const QString &group, const QString &app)
{
    QPointer<ToolsMenu> self(this);
    Q_EMIT aboutToLaunch(group, app);
    if (!self || !d->apps)
        return;
    d->cancelRun(this, action);
    // Taken at the start: a change of mode while the program runs applies to the next run.
    const Handling handling = d->handling({group, app});
    const QString input = handling.input && d->selection ? d->selection() : QString();
    ToolRun *run = d->apps->startTool(group, app, input.toUtf8());
    d->runs.emplace_back(action, run);
    auto captured = std::make_shared<Captured>();
    connect(run, &ToolRun::standardOutputText, this, [captured](const QString &text) {
        captured->output += text;
        captured->together += text;
    });
    connect(run, &ToolRun::standardErrorText, this, [captured](const QString &text) {
        captured->error += text;
        captured->together += text;
    });
    connect(run, &ToolRun::failedToStart, this, [this, run, group, app](const QString &reason) {
        d->forget(run);
        run->deleteLater();
        Q_EMIT runFailed(group, app, reason);
    });
    connect(run, &ToolRun::finished, this, [this, run, group, app, handling, input, captured](int exitCode) {
        d->forget(run);
        run->deleteLater();
        if (run->state() == ToolRun::State::Cancelled)
            return;
        QPointer<ToolsMenu> self(this);
        const std::optional<QString> failure = d->deliver(handling.output, exitCode, *captured, input);
        if (self && failure)
            Q_EMIT runFailed(group, app, *failure);
        if (self)
            Q_EMIT runFinished(group, app, exitCode);
    });
}

void ToolsMenu::setDocumentHooks(SelectionHook selection, OutputHook output)
{
    d->selection = std::move(selection);
    d->output = std::move(output);
}

ToolsMenu::OutputMode ToolsMenu::outputMode(const QString &group, const QString &app) const
{
    return d->handling({group, app}).output;
}

void ToolsMenu::setOutputMode(const QString &group, const QString &app, OutputMode mode)
{
    Handling handling = d->handling({group, app});
    handling.output = mode;
    d->setHandling({group, app}, handling);
}

bool ToolsMenu::selectionAsInput(const QString &group, const QString &app) const
{
    return d->handling({group, app}).input;
}

void ToolsMenu::setSelectionAsInput(const QString &group, const QString &app, bool input)
{
    Handling handling = d->handling({group, app});
    handling.input = input;
    d->setHandling({group, app}, handling);
}

void ToolsMenu::saveModes(QSettings &settings) const
{
    settings.remove(QString());
    const std::set<EntryKey> present = d->catalogueEntries();
    for (const auto &[entry, handling] : d->handlings) {
        if (present.count(entry))
            settings.setValue(settingsKeyPart(entry.first) + u'/' + settingsKeyPart(entry.second),
                              settingsValue(handling));
    }
}

void ToolsMenu::loadModes(QSettings &settings)
{
    d->handlings.clear();
    for (const QString &key : settings.allKeys()) {
        const QStringList parts = key.split(u'/');
        const auto group = nameFromKeyPart(parts.value(0));
        const auto app = nameFromKeyPart(parts.value(1));
        if (parts.size() == 2 && group && app)
            d->setHandling({*group, *app}, handlingFromValue(settings.value(key).toStringList()));
    }
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include <Lanyard/ExternalApps.h>

#include "ExternalAppsPrivate.h"
#include "LateBinding.h"
#include "ToolRunPrivate.h"
#include "launch/Launcher.h"
#include "ui/Captions.h"
#include "ui/RenameNotice.h"
#include "ui/frmEditApps.h"
#include "ui/frmToolBehaviour.h"
#include "util/FileListing.h"
#include "util/Logging.h"
#include "util/Raise.h"
#include "util/VariantOps.h"

#include <QApplication>
#include <QBuffer>
#include <QScopeGuard>

#include <exception>

using namespace Qt::StringLiterals;

namespace Lanyard {

using Field = LaunchListFile::Field;

namespace {

/// Tells the host, once a member has done its work without an error, that the catalogue may
/// have changed (a host binds GroupCount and its menu to that).
class CatalogueChange
{
public:
    explicit CatalogueChange(ExternalApps &apps)
        : m_apps(apps)
        , m_exceptions(std::uncaught_exceptions())
    {
    }
    ~CatalogueChange()
    {
        if (std::uncaught_exceptions() == m_exceptions)
            Q_EMIT m_apps.catalogueChanged();
    }
    CatalogueChange(const CatalogueChange &) = delete;
    CatalogueChange &operator=(const CatalogueChange &) = delete;

private:
    ExternalApps &m_apps;
    int m_exceptions;
};

} // namespace

ExternalApps::ExternalApps(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    connect(&d->behaviours, &ToolBehaviours::changed, this, &ExternalApps::toolBehaviourChanged);
    setMaxGroups(5);
    setMaxApps(5);
}

ExternalApps::~ExternalApps()
{
    d->releasing = true;
    // The one program list window may show another object's list (a host with several windows).
    frmEditApps::UnloadFor(d.get());
    SaveLaunchList();
}

bool ExternalApps::save()
{
    try {
        d->writeList();
        return true;
    } catch (const ComponentError &error) {
        qCWarning(lcLanyard).noquote() << "The launch list was not saved:" << error.message();
        Q_EMIT saveFailed(error.message());
        return false;
    }
}

qint16 ExternalApps::MaxGroups() const { return d->catalogue.maxGroups(); }
void ExternalApps::setMaxGroups(qint16 intCount)
{
    d->catalogue.setMaxGroups(intCount);
    Q_EMIT limitsChanged();
}
qint16 ExternalApps::MaxApps() const { return d->catalogue.maxApps(); }
void ExternalApps::setMaxApps(qint16 intCount)
{
    d->catalogue.setMaxApps(intCount);
    Q_EMIT limitsChanged();
}

QString ExternalApps::EXTFile() const { return d->launchList.path(); }

void ExternalApps::setEXTFile(const QString &strFile)
{
    if (strFile.isEmpty())
        return;
    const CatalogueChange change(*this);
    // Told also when the load fails: the path is stored all the same.
    const auto notify = qScopeGuard([this, previous = d->launchList.path()] {
        // Followed also when the load failed: a list fixed on disk is then read.
        d->live.follow();
        if (d->launchList.path() != previous) {
            Q_EMIT EXTFileChanged();
            Q_EMIT extFileChanged();
        }
    });
    // Absolute now: a relative path would name another file once the current folder changed.
    const QString path = FileListing::absolutePath(strFile);
    // Beside the real list: a list that is a link into a dotfiles folder keeps them there.
    const QString real = FileListing::realFile(path);
    d->behaviours.open(real.isEmpty() ? path : real);
    d->launchList.open(path, d->catalogue);
}

qint16 ExternalApps::GroupCount() const { return d->catalogue.groupCount(); }

qint16 ExternalApps::AppCount(const QVariant &GroupIndex) const
{
    const qint16 group = d->resolveGroup(GroupIndex);
    if (group == -1)
        return 0;
    return d->catalogue.group(group).AppCount();
}

QString ExternalApps::GroupName(qint16 intGroup) const { return d->catalogue.group(intGroup).GroupName(); }
void ExternalApps::setGroupName(qint16 intGroup, const QString &strGroup)
{
    const CatalogueChange change(*this);
    const QString name = d->storable(Field::Group, strGroup);
    const QString old = d->catalogue.group(intGroup).GroupName();
    QStringList apps;
    for (qint16 a = 0; intGroup < d->catalogue.groupCount() && a < d->catalogue.group(intGroup).AppCount(); ++a)
        apps << d->catalogue.app(intGroup, a).ApplicationName;
    d->catalogue.setGroupName(intGroup, name);
    for (const QString &app : std::as_const(apps))
        d->followTool({old, app}, ToolBehaviours::Key{name, app});
}

QString ExternalApps::ApplicationName(const QVariant &GroupIndex, qint16 AppIndex) const
{
    return d->catalogue.app(d->resolveGroup(GroupIndex), AppIndex).ApplicationName;
}

void ExternalApps::setApplicationName(const QVariant &GroupIndex, qint16 AppIndex, const QString &strAppName)
{
    const CatalogueChange change(*this);
    const qint16 group = d->resolveGroup(GroupIndex);
    const QString name = d->storable(Field::Name, strAppName);
    const bool inUse = d->catalogue.isInUse(group, AppIndex);
    const QString old = d->catalogue.app(group, AppIndex).ApplicationName;
    d->catalogue.setApplicationName(group, AppIndex, name);
    if (inUse) {
        const QString groupName = d->catalogue.group(group).GroupName();
        d->followTool({groupName, old}, ToolBehaviours::Key{groupName, name});
    }
}

QIcon ExternalApps::Icon(const QVariant &GroupIndex, qint16 AppIndex) const
{
    return d->catalogue.app(d->resolveGroup(GroupIndex), AppIndex).Icon;
}

QString ExternalApps::iconUrl(const QVariant &GroupIndex, qint16 AppIndex, int size) const
{
    const QIcon icon = Icon(GroupIndex, AppIndex);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!icon.pixmap(size, size).save(&buffer, "PNG"))
        return QString(); // no icon, or no pixel to show
    return u"data:image/png;base64,"_s + QString::fromLatin1(png.toBase64());
}

QString ExternalApps::AppPath(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    return d->record(GroupIndex, AppIndex).AppPath;
}

void ExternalApps::setAppPath(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strAppPath)
{
    const CatalogueChange change(*this);
    d->setField(Field::Path, GroupIndex, AppIndex, strAppPath);
}

qint16 ExternalApps::AppProtected(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    return d->record(GroupIndex, AppIndex).AppProtected;
}

void ExternalApps::setAppProtected(const QVariant &GroupIndex, const QVariant &AppIndex, bool AppProtected)
{
    const CatalogueChange change(*this);
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    d->catalogue.setAppProtected(slot.group, slot.app, AppProtected ? -1 : 0);
}

QString ExternalApps::CmdLine(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    return d->record(GroupIndex, AppIndex).CmdLine;
}

void ExternalApps::setCmdLine(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strCmdLine)
{
    const CatalogueChange change(*this);
    d->setField(Field::CmdLine, GroupIndex, AppIndex, strCmdLine);
}

qint16 ExternalApps::PlaceholderCount() const { return d->placeholders.count(); }

QString ExternalApps::SearchString(qint16 Index) const
{
    if (Index < 0 || Index >= d->placeholders.count())
        raiseIndexError();
    return d->placeholders.at(Index).search;
}

QString ExternalApps::ReplaceString(const QVariant &Index) const
{
    const qint16 index = VariantOps::holdsName(Index) ? FindPlaceholder(VariantOps::toText(Index))
                                                      : VariantOps::toInt16(Index);
    if (index < 0 || index >= d->placeholders.count())
        raiseIndexError();
    return d->placeholders.at(index).replace;
}

Lanyard::Language ExternalApps::Language() const { return d->currentLanguage; }

void ExternalApps::setLanguage(Lanyard::Language NewLanguage)
{
    const qint32 value = static_cast<qint32>(NewLanguage);
    d->currentLanguage = (value < 0 || value > 2) ? Language::lEnglish : NewLanguage;
    Captions::setLanguage(d->currentLanguage);
    Q_EMIT languageChanged();
}

bool ExternalApps::AddApp(const QString &strGroup, const QString &strAppName, const QString &strAppPath,
                          const QString &strCmd, bool blProtected)
{
    const CatalogueChange change(*this);
    return d->catalogue.addApp(d->storable(Field::Group, strGroup), d->storable(Field::Name, strAppName),
                               d->storable(Field::Path, strAppPath), d->storable(Field::CmdLine, strCmd), blProtected);
}

void ExternalApps::DeleteApp(const QVariant &GroupIndex, const QVariant &AppIndex)
{
    const CatalogueChange change(*this);
    const qint16 group = d->resolveGroup(GroupIndex);
    if (group == -1)
        return;
    const qint16 app = VariantOps::holdsName(AppIndex) ? FindApp(QVariant(group), VariantOps::toText(AppIndex))
                                                       : VariantOps::toInt16(AppIndex);
    if (app == -1)
        return;
    const bool inUse = d->catalogue.isInUse(group, app);
    const ToolBehaviours::Key tool{d->catalogue.group(group).GroupName(), d->catalogue.app(group, app).ApplicationName};
    d->catalogue.deleteApp(group, app);
    if (inUse)
        d->followTool(tool, std::nullopt);
}

void ExternalApps::EditApp(const QString &strOldGroup, const QString &strOldAppName, const QString &strNewGroup,
                           const QString &strNewAppName, bool blProtected, const QVariant &varNewAppPath,
                           const QVariant &varNewCmd)
{
    const CatalogueChange change(*this);
    const Private::Slot old = d->find(strOldGroup, strOldAppName).value();
    const ApplicationRecord &current = d->catalogue.app(old.group, old.app);
    const QString newGroup = d->storable(Field::Group, strNewGroup);
    const QString newName = d->storable(Field::Name, strNewAppName);
    const QString newPath = d->storable(Field::Path,
                                        varNewAppPath.isValid() ? VariantOps::toText(varNewAppPath) : current.AppPath);
    const QString newCmd = d->storable(Field::CmdLine,
                                       varNewCmd.isValid() ? VariantOps::toText(varNewCmd) : current.CmdLine);
    // Told before the change, once nothing can refuse it but a full group: a host's menu
    // rebuilding on the change then knows where the entry went, whoever renamed it (the
    // program list window or the host).
    RenameNotice::instance()->tell(this, strOldGroup, strOldAppName, strNewGroup, strNewAppName);
    d->catalogue.editApp(old.group, old.app, newGroup, newName, blProtected, newPath, newCmd);
    // A move into a full group changes nothing.
    if (d->find(newGroup, newName))
        d->followTool({strOldGroup, strOldAppName}, ToolBehaviours::Key{newGroup, newName});
}

void ExternalApps::AddPlaceHolder(const QString &strSearch, const QString &strReplace)
{
    d->placeholders.add(strSearch, strReplace);
    Q_EMIT placeholdersChanged();
}

bool ExternalApps::ExecuteApp(const QString &strGroup, const QString &strApp)
{
    return launchTool(strGroup, strApp, LaunchOptions());
}

bool ExternalApps::launchTool(const QString &strGroup, const QString &strApp, const LaunchOptions &options)
{
    if (!d->refreshPlaceholders())
        return false;
    const Result<LaunchCommand> command = d->planLaunch(strGroup, strApp, options);
    const Result<void> started = command ? Launcher::start(command.value()) : command.error();
    if (!started) {
        Q_EMIT launchFailed(strGroup, strApp, started.error().detail());
        return false;
    }
    Q_EMIT AppFinished(strGroup, strApp);
    Q_EMIT appFinished(strGroup, strApp);
    return true;
}

ToolRun *ExternalApps::startTool(const QString &group, const QString &app, const QByteArray &input,
                                 ToolRun::Input inputFrom)
{
    return startTool(group, app, input, inputFrom, LaunchOptions());
}

ToolRun *ExternalApps::startTool(const QString &group, const QString &app, const QByteArray &input,
                                 ToolRun::Input inputFrom, const LaunchOptions &options)
{
    if (!d->refreshPlaceholders())
        return nullptr;
    auto *run = new ToolRun(group, app, this);
    const Result<LaunchCommand> command = d->planLaunch(group, app, options);
    const Result<void> started = command ? run->d->start(command.value(), input, inputFrom) : command.error();
    if (!command)
        run->d->fail(command.error().detail());
    if (!started)
        Q_EMIT launchFailed(group, app, started.error().detail());
    return run;
}

bool ExternalApps::showMissingProgram() const { return d->showMissingProgram; }

void ExternalApps::setShowMissingProgram(bool show)
{
    if (d->showMissingProgram == show)
        return;
    d->showMissingProgram = show;
    Q_EMIT showMissingProgramChanged();
}

void ExternalApps::ShowForm(qint32 Modal, QWidget *OwnerForm) { frmEditApps::ShowFor(d.get(), Modal, OwnerForm); }

void ExternalApps::HideForm() { frmEditApps::Unload(); }

bool ExternalApps::ShowBehaviourForm(QWidget *OwnerForm, const QString &group, const QString &app)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    const QWidget *window = OwnerForm ? OwnerForm->window() : nullptr;
    return frmToolBehaviour::edit(*d, OwnerForm, frmToolBehaviour::shortcutsOf(window), {group, app});
}

ToolBehaviour ExternalApps::toolBehaviour(const QString &group, const QString &app) const
{
    return d->behaviours.value({group, app});
}

void ExternalApps::setToolBehaviour(const QString &group, const QString &app, const ToolBehaviour &behaviour)
{
    d->behaviours.set({group, app}, behaviour);
}

Result<Entry> ExternalApps::entry(const QString &strGroup, const QString &strApp) const
{
    return d->entry(strGroup, strApp);
}

Result<LaunchCommand> ExternalApps::launchCommand(const QString &strGroup, const QString &strApp) const
{
    if (!d->refreshPlaceholders())
        return ComponentError(ErrorCode::InvalidArgument, u"the object was deleted while asking for placeholders"_s);
    const Result<Private::Slot> entry = d->find(strGroup, strApp);
    if (!entry)
        return entry.error();
    const ApplicationRecord &record = d->catalogue.app(entry->group, entry->app);
    return Launcher::preview(record.AppPath, record.CmdLine, d->placeholders);
}

QVariantMap ExternalApps::invoke(const QString &member, const QString &kind, const QVariantList &arguments)
{
    return LateBinding::invoke(*this, d->errorSink, member, kind, arguments);
}

void ExternalApps::SaveLaunchList()
{
    // No caller is left to receive an error: it is logged, and told to whoever listens.
    if (d->launchList.hasChangesToSave(d->catalogue) || d->behaviours.hasChanges())
        save();
}

qint16 ExternalApps::FindGroup(const QString &strGroup) const { return d->catalogue.findGroup(strGroup); }

qint16 ExternalApps::FindApp(const QVariant &GroupIndex, const QString &strApp) const
{
    return d->findApp(GroupIndex, strApp);
}

qint16 ExternalApps::FindPlaceholder(const QString &strSearch) const { return d->placeholders.find(strSearch); }

} // namespace Lanyard

#include "Lanyard/moc_ExternalApps.cpp"

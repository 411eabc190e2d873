#include <Lanyard/ExternalApps.h>

#include "ExternalAppsPrivate.h"
#include "LateBinding.h"
#include "LaunchListFile.h"
#include "launch/Launcher.h"
#include "launch/mGetFileIcon.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "util/FileListing.h"
#include "util/VariantOps.h"

namespace Lanyard {

namespace {

constexpr qint32 iconSizeSmall = 1;

[[noreturn]] void indexError() { throw ComponentError(ErrorCode::IndexOutOfRange); }

ApplicationRecord makeRecord(const QString &name, const QString &path, const QString &cmd, bool isProtected)
{
    return ApplicationRecord{name, path, cmd, mGetFileIcon::GetFileIcon(path, iconSizeSmall),
                             qint16(isProtected ? -1 : 0)};
}

} // namespace

qint16 ExternalAppsPrivate::resolveGroup(const QVariant &groupIndex) const
{
    if (VariantOps::holdsName(groupIndex))
        return catalogue.findGroup(VariantOps::toText(groupIndex));
    return VariantOps::toInt16(groupIndex);
}

qint16 ExternalAppsPrivate::resolveApp(qint16 group, const QVariant &appIndex) const
{
    if (!VariantOps::holdsName(appIndex))
        return VariantOps::toInt16(appIndex);
    // A name is looked up in the group that the slot's name finds, which is another slot when
    // an earlier group in use has the same name.
    const qint16 named = catalogue.findGroup(catalogue.group(group).GroupName());
    return named == -1 ? qint16(-1) : catalogue.group(named).findApp(VariantOps::toText(appIndex));
}

ExternalAppsPrivate::Slot ExternalAppsPrivate::resolveSlot(const QVariant &groupIndex, const QVariant &appIndex) const
{
    const qint16 group = resolveGroup(groupIndex);
    const qint16 app = resolveApp(group, appIndex);
    catalogue.checkSlot(group, app);
    return {group, app};
}

ExternalApps::ExternalApps(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ExternalAppsPrivate>())
{
    setMaxGroups(5);
    setMaxApps(5);
}

ExternalApps::~ExternalApps()
{
    frmEditApps::Unload();
    SaveLaunchList();
}

qint16 ExternalApps::MaxGroups() const { return d->catalogue.maxGroups(); }
void ExternalApps::setMaxGroups(qint16 intCount) { d->catalogue.setMaxGroups(intCount); }
qint16 ExternalApps::MaxApps() const { return d->catalogue.maxApps(); }
void ExternalApps::setMaxApps(qint16 intCount) { d->catalogue.setMaxApps(intCount); }

QString ExternalApps::EXTFile() const { return d->extFile; }

void ExternalApps::setEXTFile(const QString &strFile)
{
    if (strFile.isEmpty())
        return;
    d->extFile = strFile;
    // A dot file is a normal file here: it is the usual place for a launch list, and skipping
    // it would overwrite it at release.
    if (FileListing::isRegularFile(strFile))
        LoadLaunchList();
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
void ExternalApps::setGroupName(qint16 intGroup, const QString &strGroup) { d->catalogue.setGroupName(intGroup, strGroup); }

QString ExternalApps::ApplicationName(const QVariant &GroupIndex, qint16 AppIndex) const
{
    return d->catalogue.app(d->resolveGroup(GroupIndex), AppIndex).ApplicationName;
}

void ExternalApps::setApplicationName(const QVariant &GroupIndex, qint16 AppIndex, const QString &strAppName)
{
    d->catalogue.groupForWrite(d->resolveGroup(GroupIndex), AppIndex).setApplicationName(AppIndex, strAppName);
}

QIcon ExternalApps::Icon(const QVariant &GroupIndex, qint16 AppIndex) const
{
    return d->catalogue.app(d->resolveGroup(GroupIndex), AppIndex).Icon;
}

QString ExternalApps::AppPath(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    return d->catalogue.app(slot.group, slot.app).AppPath;
}

void ExternalApps::setAppPath(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strAppPath)
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    d->catalogue.groupForWrite(slot.group, slot.app).setAppPath(slot.app, strAppPath);
}

qint16 ExternalApps::AppProtected(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    return d->catalogue.app(slot.group, slot.app).AppProtected;
}

void ExternalApps::setAppProtected(const QVariant &GroupIndex, const QVariant &AppIndex, bool AppProtected)
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    d->catalogue.groupForWrite(slot.group, slot.app).setAppProtected(slot.app, AppProtected ? -1 : 0);
}

QString ExternalApps::CmdLine(const QVariant &GroupIndex, const QVariant &AppIndex) const
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    return d->catalogue.app(slot.group, slot.app).CmdLine;
}

void ExternalApps::setCmdLine(const QVariant &GroupIndex, const QVariant &AppIndex, const QString &strCmdLine)
{
    const auto slot = d->resolveSlot(GroupIndex, AppIndex);
    d->catalogue.groupForWrite(slot.group, slot.app).setCmdLine(slot.app, strCmdLine);
}

qint16 ExternalApps::PlaceholderCount() const { return d->placeholders.count(); }

QString ExternalApps::SearchString(qint16 Index) const
{
    if (Index < 0 || Index >= d->placeholders.count())
        indexError();
    return d->placeholders.at(Index).search;
}

QString ExternalApps::ReplaceString(const QVariant &Index) const
{
    const qint16 index = VariantOps::holdsName(Index) ? FindPlaceholder(VariantOps::toText(Index))
                                                      : VariantOps::toInt16(Index);
    if (index < 0 || index >= d->placeholders.count())
        indexError();
    return d->placeholders.at(index).replace;
}

Lanyard::Language ExternalApps::Language() const { return d->language; }

void ExternalApps::setLanguage(Lanyard::Language NewLanguage)
{
    const qint32 value = static_cast<qint32>(NewLanguage);
    d->language = (value < 0 || value > 2) ? Language::lEnglish : NewLanguage;
    Captions::setLanguageOffset(static_cast<qint32>(d->language) * 250);
}

bool ExternalApps::AddApp(const QString &strGroup, const QString &strAppName, const QString &strAppPath,
                          const QString &strCmd, bool blProtected)
{
    Catalogue &catalogue = d->catalogue;
    const qint16 group = FindGroup(strGroup);
    if (group == -1) {
        if (catalogue.groupCount() >= catalogue.maxGroups())
            return false;
        catalogue.appendGroup(strGroup, makeRecord(strAppName, strAppPath, strCmd, blProtected));
        return true;
    }
    const qint16 app = FindApp(group, strAppName);
    ProgramGroup &slots = catalogue.groupForWrite(group, 0);
    if (app != -1) {
        // An update keeps the name and the protected flag.
        slots.setAppPath(app, strAppPath);
        slots.setCmdLine(app, strCmd);
        slots.setIcon(app, mGetFileIcon::GetFileIcon(strAppPath, iconSizeSmall));
        return true;
    }
    if (slots.AppCount() >= catalogue.maxApps())
        return false;
    slots.append(makeRecord(strAppName, strAppPath, strCmd, blProtected));
    return true;
}

void ExternalApps::DeleteApp(const QVariant &GroupIndex, const QVariant &AppIndex)
{
    Catalogue &catalogue = d->catalogue;
    const qint16 group = d->resolveGroup(GroupIndex);
    if (group == -1)
        return;
    const qint16 app = VariantOps::holdsName(AppIndex) ? FindApp(QVariant(group), VariantOps::toText(AppIndex))
                                                       : VariantOps::toInt16(AppIndex);
    if (app == -1)
        return;
    catalogue.checkSlot(group, app);
    // Slots inside the table but not in use hold no entry to delete: nothing happens, so the
    // counts never go negative and no entry in use is lost.
    if (group >= catalogue.groupCount() || app >= catalogue.group(group).AppCount())
        return;
    ProgramGroup &slots = catalogue.groupForWrite(group, app);
    slots.remove(app);
    if (slots.AppCount() == 0)
        catalogue.removeGroup(group);
}

void ExternalApps::EditApp(const QString &strOldGroup, const QString &strOldAppName, const QString &strNewGroup,
                           const QString &strNewAppName, bool blProtected, const QVariant &varNewAppPath,
                           const QVariant &varNewCmd)
{
    const qint16 group = FindGroup(strOldGroup);
    if (group == -1)
        indexError();
    const qint16 app = FindApp(group, strOldAppName);
    if (app == -1)
        indexError();

    const ApplicationRecord &current = d->catalogue.app(group, app);
    const QString newPath = varNewAppPath.isValid() ? VariantOps::toText(varNewAppPath) : current.AppPath;
    const QString newCmd = varNewCmd.isValid() ? VariantOps::toText(varNewCmd) : current.CmdLine;

    if (strNewGroup != strOldGroup) {
        // AddApp only appends, so the old indexes stay valid for the delete.
        if (AddApp(strNewGroup, strNewAppName, newPath, newCmd, blProtected))
            DeleteApp(QVariant(group), QVariant(app));
        return;
    }
    ProgramGroup &slots = d->catalogue.groupForWrite(group, app);
    slots.setApplicationName(app, strNewAppName);
    slots.setAppPath(app, newPath);
    slots.setCmdLine(app, newCmd);
    slots.setIcon(app, mGetFileIcon::GetFileIcon(newPath, iconSizeSmall));
    slots.setAppProtected(app, blProtected ? -1 : 0);
}

void ExternalApps::AddPlaceHolder(const QString &strSearch, const QString &strReplace)
{
    d->placeholders.add(strSearch, strReplace);
}

bool ExternalApps::ExecuteApp(const QString &strGroup, const QString &strApp)
{
    if (!Launcher::execute(d->catalogue, d->placeholders, strGroup, strApp))
        return false;
    Q_EMIT AppFinished(strGroup, strApp);
    return true;
}

void ExternalApps::ShowForm(qint32 Modal, QWidget *OwnerForm) { frmEditApps::ShowFor(this, Modal, OwnerForm); }

void ExternalApps::HideForm() { frmEditApps::Unload(); }

std::optional<LaunchCommand> ExternalApps::launchCommand(const QString &strGroup, const QString &strApp) const
{
    return Launcher::preview(d->catalogue, d->placeholders, strGroup, strApp);
}

QVariantMap ExternalApps::invoke(const QString &member, const QString &kind, const QVariantList &arguments)
{
    return LateBinding::invoke(*this, member, kind, arguments);
}

void ExternalApps::LoadLaunchList() { LaunchListFile::load(*this, d->extFile); }

void ExternalApps::SaveLaunchList()
{
    if (d->extFile.isEmpty())
        return;
    LaunchListFile::save(d->catalogue, d->extFile, d->launchListEncoding);
}

qint16 ExternalApps::FindGroup(const QString &strGroup) const { return d->catalogue.findGroup(strGroup); }

qint16 ExternalApps::FindApp(const QVariant &GroupIndex, const QString &strApp) const
{
    const qint16 group = d->resolveGroup(GroupIndex);
    if (group == -1)
        return -1;
    return d->catalogue.group(group).findApp(strApp);
}

qint16 ExternalApps::FindPlaceholder(const QString &strSearch) const { return d->placeholders.find(strSearch); }

} // namespace Lanyard

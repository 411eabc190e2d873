// SPDX-License-Identifier: MIT
#pragma once

#include "LiveList.h"
#include "catalogue/Catalogue.h"
#include "catalogue/LaunchList.h"
#include "launch/Launcher.h"
#include "launch/PlaceholderTable.h"
#include "ui/LaunchEntries.h"

#include <Lanyard/ExternalApps.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

/// The state of an ExternalApps object, the look-ups its members share, and the catalogue as
/// the configuration windows see it.
struct LANYARD_NO_EXPORT ExternalApps::Private final : LaunchEntries
{
    explicit Private(ExternalApps *q);

    ExternalApps *const q;
    Catalogue catalogue;
    LaunchList launchList;
    PlaceholderTable placeholders;
    // Last: it calls on the catalogue and the list, and goes before them.
    LiveList live;
    Lanyard::Language currentLanguage = Language::lEnglish;
    bool showMissingProgram = true;
    // While the host is being asked: a launch from its handler does not ask again.
    mutable bool askingForPlaceholders = false;

    /// Asks the host for its current placeholder values (placeholdersWanted) right before they
    /// are used: by every launch, preview and the picker. False when the handler deleted the
    /// object, which must then not be touched.
    bool refreshPlaceholders() const;

    /// @p value, refused with InvalidArgument when the launch list could not give it back the
    /// same as @p field.
    QString storable(LaunchListFile::Field field, const QString &value) const;
    /// Stores @p value in @p field (path, command line, name) of the slot resolveSlot gives.
    void setField(LaunchListFile::Field field, const QVariant &groupIndex, const QVariant &appIndex,
                  const QString &value);
    /// Writes the changes to the launch list; throws ComponentError when that failed.
    void save();

    /// Resolves a number-or-name group argument: a name gives FindGroup's result (-1 when
    /// not found), any other value its 16-bit conversion.
    qint16 resolveGroup(const QVariant &groupIndex) const;
    /// FindApp: the application named @p name in the group @p groupIndex (number-or-name),
    /// -1 when either is not found.
    qint16 findApp(const QVariant &groupIndex, const QString &name) const;
    /// Resolves a number-or-name application argument of a field member within an already
    /// resolved group: a name is looked up in the group that the group slot's name finds.
    qint16 resolveApp(qint16 group, const QVariant &appIndex) const;

    struct Slot
    {
        qint16 group;
        qint16 app;
    };
    /// Resolves both arguments and checks that the slot lies inside the tables.
    Slot resolveSlot(const QVariant &groupIndex, const QVariant &appIndex) const;
    /// The record in the slot that resolveSlot gives.
    const ApplicationRecord &record(const QVariant &groupIndex, const QVariant &appIndex) const
    {
        const Slot slot = resolveSlot(groupIndex, appIndex);
        return catalogue.app(slot.group, slot.app);
    }
    // The interface by name (the meta-object system): each member goes through the late
    // binding, and a failure emits errorOccurred instead of throwing.
    QVariant call(const QString &member, const QString &kind, const QVariantList &arguments);
    QVariant get(const QString &member, const QVariantList &arguments = {})
    {
        return call(member, u"get"_s, arguments);
    }
    void let(const QString &member, const QVariantList &arguments) { call(member, u"let"_s, arguments); }
    QVariant method(const QString &member, const QVariantList &arguments = {})
    {
        return call(member, u"call"_s, arguments);
    }
    using V = const QVariant &;

    void setMaxGroups(int count) { let(u"MaxGroups"_s, {count}); }
    void setMaxApps(int count) { let(u"MaxApps"_s, {count}); }
    QString extFile() const { return launchList.path(); }
    void setExtFile(const QString &path) { let(u"EXTFile"_s, {path}); }
    int groupCount() const { return catalogue.groupCount(); }
    int placeholderCount() const { return placeholders.count(); }
    Lanyard::Language language() const { return currentLanguage; }
    void setLanguage(Lanyard::Language value) { let(u"Language"_s, {QVariant::fromValue(value)}); }

    QVariant AppCount(V g) { return get(u"AppCount"_s, {g}); }
    QVariant GroupName(V g) { return get(u"GroupName"_s, {g}); }
    void setGroupName(V g, V value) { let(u"GroupName"_s, {g, value}); }
    QVariant ApplicationName(V g, V a) { return get(u"ApplicationName"_s, {g, a}); }
    void setApplicationName(V g, V a, V value) { let(u"ApplicationName"_s, {g, a, value}); }
    QVariant Icon(V g, V a) { return get(u"Icon"_s, {g, a}); }
    QVariant iconUrl(V g, V a) { return method(u"iconUrl"_s, {g, a}); }
    QVariant AppPath(V g, V a) { return get(u"AppPath"_s, {g, a}); }
    void setAppPath(V g, V a, V value) { let(u"AppPath"_s, {g, a, value}); }
    QVariant AppProtected(V g, V a) { return get(u"AppProtected"_s, {g, a}); }
    void setAppProtected(V g, V a, V value) { let(u"AppProtected"_s, {g, a, value}); }
    QVariant CmdLine(V g, V a) { return get(u"CmdLine"_s, {g, a}); }
    void setCmdLine(V g, V a, V value) { let(u"CmdLine"_s, {g, a, value}); }
    QVariant SearchString(V index) { return get(u"SearchString"_s, {index}); }
    QVariant ReplaceString(V index) { return get(u"ReplaceString"_s, {index}); }
    QVariant AddApp(V g, V a, V path, V cmd, V prot) { return method(u"AddApp"_s, {g, a, path, cmd, prot}); }
    void DeleteApp(V g, V a) { method(u"DeleteApp"_s, {g, a}); }
    void EditApp(V og, V oa, V ng, V na, V prot) { method(u"EditApp"_s, {og, oa, ng, na, prot}); }
    void EditApp(V og, V oa, V ng, V na, V prot, V path) { method(u"EditApp"_s, {og, oa, ng, na, prot, path}); }
    void EditApp(V og, V oa, V ng, V na, V prot, V path, V cmd)
    {
        method(u"EditApp"_s, {og, oa, ng, na, prot, path, cmd});
    }
    void AddPlaceHolder(V search, V replace) { method(u"AddPlaceHolder"_s, {search, replace}); }
    QVariant ExecuteApp(V g, V a) { return method(u"ExecuteApp"_s, {g, a}); }
    void ShowForm() { method(u"ShowForm"_s); }
    void ShowForm(V modal) { method(u"ShowForm"_s, {modal}); }
    void ShowForm(V modal, V owner) { method(u"ShowForm"_s, {modal, owner}); }
    void HideForm() { method(u"HideForm"_s); }
    QVariant launchCommand(V g, V a) { return method(u"launchCommand"_s, {g, a}); }

    /**
     * What the entry @p app of @p group starts, the placeholders replaced, or why it cannot
     * start (a missing program shown as showMissingProgram says): the one preparation of
     * every launch, ExecuteApp's and startTool's.
     */
    LaunchPlan planLaunch(const QString &group, const QString &app);

    /// The application in use named @p app in the group in use named @p group: the one
    /// "does this entry exist" of the component, the windows and the command-line host.
    Result<Slot> find(const QString &group, const QString &app) const;

    // The windows' view (LaunchEntries): the same members, their errors as results.
    QList<Group> groups() const override;
    Result<Entry> entry(const QString &group, const QString &app) const override;
    QList<Placeholder> placeholderList() const override;
    int maxGroups() const override { return catalogue.maxGroups(); }
    int maxApps() const override { return catalogue.maxApps(); }
    Result<bool> add(const Entry &entry) override;
    Result<bool> edit(const QString &group, const QString &app, const Entry &edited) override;
    Result<void> remove(const QString &group, const QString &app) override;
};

} // namespace Lanyard

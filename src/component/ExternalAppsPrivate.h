// SPDX-License-Identifier: MIT
#pragma once

#include "ByNameValue.h"
#include "LiveList.h"
#include "ToolBehaviours.h"
#include "catalogue/Catalogue.h"
#include "catalogue/LaunchList.h"
#include "launch/Launcher.h"
#include "launch/PlaceholderTable.h"
#include "ui/LaunchEntries.h"
#include "util/Attempt.h"

#include <Lanyard/ExternalApps.h>

#include <array>
#include <optional>
#include <tuple>
#include <utility>

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
    ToolBehaviours behaviours;
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
    /// Writes the changes to the launch list, then to the tool behaviours (where a tool the
    /// list no longer holds loses its behaviour); throws ComponentError when either failed.
    void writeList();
    /// The behaviour of the tool @p from goes with it to @p to (none: it was deleted), unless
    /// another tool of that name is still there to keep it.
    void followTool(const ToolBehaviours::Key &from, const std::optional<ToolBehaviours::Key> &to);

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
    // The interface by name (ExternalApps.h declares it for the meta-object system): each
    // forwarder below calls its typed member through byName. The compiler asks for a forwarder
    // for every declaration, and invoke() finds them all through the meta-object.
    using V = const QVariant &;

    /**
     * Calls the typed @p member with @p given read as its parameter types (ByNameValue; a
     * trailing parameter left off takes its type's empty value) and gives its result as a
     * QVariant. A failure gives an invalid QVariant and is reported: to invoke() when it asked
     * for this call, otherwise as errorOccurred.
     */
    template<typename Member, typename... Given>
    QVariant byName(Member member, const Given &...given);
    /// Where the error of the next by-name call goes instead of errorOccurred (invoke() sets
    /// it); a call takes it as it starts, so calls made meanwhile by handlers report their own.
    std::optional<ComponentError> *errorSink = nullptr;
    void reportByName(const ComponentError &error, std::optional<ComponentError> *sink);

    void setMaxGroups(int count) { byName(&ExternalApps::setMaxGroups, count); }
    void setMaxApps(int count) { byName(&ExternalApps::setMaxApps, count); }
    QString extFile() const { return launchList.path(); }
    void setExtFile(const QString &path) { byName(&ExternalApps::setEXTFile, path); }
    int groupCount() const { return catalogue.groupCount(); }
    int placeholderCount() const { return placeholders.count(); }
    Lanyard::Language language() const { return currentLanguage; }
    void setLanguage(Lanyard::Language value) { byName(&ExternalApps::setLanguage, value); }
    bool missingProgramShown() const { return showMissingProgram; }
    void setMissingProgramShown(bool show) { byName(&ExternalApps::setShowMissingProgram, show); }

    QVariant AppCount(V g) { return byName(&ExternalApps::AppCount, g); }
    QVariant GroupName(V g) { return byName(&ExternalApps::GroupName, g); }
    void setGroupName(V g, V value) { byName(&ExternalApps::setGroupName, g, value); }
    QVariant ApplicationName(V g, V a) { return byName(&ExternalApps::ApplicationName, g, a); }
    void setApplicationName(V g, V a, V value) { byName(&ExternalApps::setApplicationName, g, a, value); }
    QVariant Icon(V g, V a) { return byName(&ExternalApps::Icon, g, a); }
    QVariant iconUrl(V g, V a) { return byName(&ExternalApps::iconUrl, g, a, 16); }
    QVariant iconUrl(V g, V a, V size) { return byName(&ExternalApps::iconUrl, g, a, size); }
    QVariant AppPath(V g, V a) { return byName(&ExternalApps::AppPath, g, a); }
    void setAppPath(V g, V a, V value) { byName(&ExternalApps::setAppPath, g, a, value); }
    // A Boolean by name, as every other flag.
    QVariant AppProtected(V g, V a) { return flag(byName(&ExternalApps::AppProtected, g, a)); }
    void setAppProtected(V g, V a, V value) { byName(&ExternalApps::setAppProtected, g, a, value); }
    QVariant CmdLine(V g, V a) { return byName(&ExternalApps::CmdLine, g, a); }
    void setCmdLine(V g, V a, V value) { byName(&ExternalApps::setCmdLine, g, a, value); }
    QVariant SearchString(V index) { return byName(&ExternalApps::SearchString, index); }
    QVariant ReplaceString(V index) { return byName(&ExternalApps::ReplaceString, index); }
    QVariant AddApp(V g, V a, V path, V cmd, V prot) { return byName(&ExternalApps::AddApp, g, a, path, cmd, prot); }
    void DeleteApp(V g, V a) { byName(&ExternalApps::DeleteApp, g, a); }
    template<typename... Given>
    void EditApp(const Given &...given)
    {
        byName(&ExternalApps::EditApp, given...);
    }
    void AddPlaceHolder(V search, V replace) { byName(&ExternalApps::AddPlaceHolder, search, replace); }
    QVariant ExecuteApp(V g, V a) { return byName(&ExternalApps::ExecuteApp, g, a); }
    QVariant launchTool(V g, V a, V options) { return byName(&ExternalApps::launchTool, g, a, options); }
    template<typename... Given>
    QVariant startTool(const Given &...given)
    {
        using Plain = ToolRun *(ExternalApps::*)(const QString &, const QString &, const QByteArray &, ToolRun::Input);
        using WithOptions = ToolRun *(ExternalApps::*)(const QString &, const QString &, const QByteArray &,
                                                       ToolRun::Input, const LaunchOptions &);
        if constexpr (sizeof...(Given) == 5)
            return byName(static_cast<WithOptions>(&ExternalApps::startTool), given...);
        else
            return byName(static_cast<Plain>(&ExternalApps::startTool), given...);
    }
    template<typename... Given>
    void ShowForm(const Given &...given)
    {
        byName(&ExternalApps::ShowForm, given...);
    }
    void HideForm() { byName(&ExternalApps::HideForm); }
    template<typename... Given>
    QVariant ShowBehaviourForm(const Given &...given)
    {
        return byName(&ExternalApps::ShowBehaviourForm, given...);
    }
    QVariant launchCommand(V g, V a) { return byName(&ExternalApps::launchCommand, g, a); }
    QVariant toolBehaviour(V g, V a) { return byName(&ExternalApps::toolBehaviour, g, a); }
    void setToolBehaviour(V g, V a, V value) { byName(&ExternalApps::setToolBehaviour, g, a, value); }
    QVariant save() { return byName(&ExternalApps::save); }

    static QVariant flag(const QVariant &stored) { return stored.isValid() ? QVariant(stored.toInt() != 0) : stored; }

    /**
     * What the entry @p app of @p group starts, the placeholders replaced, or why it cannot
     * start (a missing program shown as showMissingProgram says): the one preparation of
     * every launch, ExecuteApp's and startTool's.
     */
    Result<LaunchCommand> planLaunch(const QString &group, const QString &app, const LaunchOptions &options = {});

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
    ToolBehaviour behaviour(const QString &group, const QString &app) const override
    {
        return behaviours.value({group, app});
    }
    void setBehaviour(const QString &group, const QString &app, const ToolBehaviour &behaviour) override
    {
        behaviours.set({group, app}, behaviour);
    }
    void windowClosed() override
    {
        // The release closes the window too; it saves by itself.
        if (!releasing)
            Q_EMIT q->formClosed();
    }
    bool releasing = false;
};

namespace ByNameDetail {

/// The return and parameter types of a typed member.
template<typename>
struct Signature;
template<typename R, typename... P>
struct Signature<R (ExternalApps::*)(P...)>
{
    using Return = R;
    using Parameters = std::tuple<std::decay_t<P>...>;
};
template<typename R, typename... P>
struct Signature<R (ExternalApps::*)(P...) const> : Signature<R (ExternalApps::*)(P...)>
{
};

template<typename T>
QVariant given(const T &value)
{
    if constexpr (std::is_same_v<T, QVariant>)
        return value;
    else
        return QVariant::fromValue(value);
}

/// The argument @p i read as @p T; T's empty value when it was left off.
template<typename T, std::size_t N>
T argumentAt(const std::array<QVariant, N> &values, std::size_t i)
{
    return i < N ? ByNameValue::argument<T>(values[i]) : T();
}

} // namespace ByNameDetail

template<typename Member, typename... Given>
QVariant ExternalApps::Private::byName(Member member, const Given &...given)
{
    using Signature = ByNameDetail::Signature<Member>;
    using Parameters = typename Signature::Parameters;
    const std::array<QVariant, sizeof...(Given)> values{ByNameDetail::given(given)...};
    std::optional<ComponentError> *const sink = std::exchange(errorSink, nullptr);
    const auto call = [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        return (q->*member)(ByNameDetail::argumentAt<std::tuple_element_t<I, Parameters>>(values, I)...);
    };
    const Result<QVariant> outcome = attempt([&]() -> QVariant {
        constexpr auto each = std::make_index_sequence<std::tuple_size_v<Parameters>>();
        if constexpr (std::is_void_v<typename Signature::Return>) {
            call(each);
            return QVariant();
        } else {
            return ByNameValue::result(call(each));
        }
    });
    if (outcome)
        return outcome.value();
    reportByName(outcome.error(), sink);
    return QVariant();
}

} // namespace Lanyard

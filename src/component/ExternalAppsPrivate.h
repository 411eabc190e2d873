#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/LaunchList.h"
#include "launch/PlaceholderTable.h"

#include <Lanyard/ExternalApps.h>

namespace Lanyard {

/// The state of an ExternalApps object, and the look-ups its members share.
struct LANYARD_NO_EXPORT ExternalApps::Private
{
    Private();

    Catalogue catalogue;
    LaunchList launchList;
    PlaceholderTable placeholders;
    Lanyard::Language language = Language::lEnglish;
    bool showMissingProgram = true;

    /// @p value as the catalogue stores it for @p field: refused with InvalidArgument when the
    /// launch list could not give it back the same; bytes given as native text are stored as
    /// the Latin-1 characters of a Latin-1 list.
    QString storable(LaunchListFile::Field field, const QString &value) const;
    /// A value of the catalogue as native text for the system: a Latin-1 list's characters
    /// stand for its bytes.
    QString native(const QString &value) const;
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
    /// The application in use named @p app in the group in use named @p group.
    std::optional<Slot> findEntry(const QString &group, const QString &app) const;
};

} // namespace Lanyard

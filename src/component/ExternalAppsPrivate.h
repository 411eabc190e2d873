#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/LaunchListFile.h"
#include "launch/PlaceholderTable.h"

#include <Lanyard/ExternalApps.h>

namespace Lanyard {

/// The state of an ExternalApps object, and the look-ups its members share.
struct LANYARD_NO_EXPORT ExternalApps::Private
{
    Private();

    Catalogue catalogue;
    PlaceholderTable placeholders;
    QString extFile;
    /// How the launch list was read, so that it is written back the same way.
    LaunchListFile::Encoding launchListEncoding = LaunchListFile::Encoding::Utf8;
    Lanyard::Language language = Language::lEnglish;

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
    /// Calls @p write(group, app slot) for the slot that resolveSlot gives.
    template<typename Write>
    void write(const QVariant &groupIndex, const QVariant &appIndex, Write write)
    {
        const Slot slot = resolveSlot(groupIndex, appIndex);
        write(catalogue.groupForWrite(slot.group, slot.app), slot.app);
    }
    /// The application in use named @p app in the group in use named @p group.
    std::optional<Slot> findEntry(const QString &group, const QString &app) const;
};

} // namespace Lanyard

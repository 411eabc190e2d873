#pragma once

#include "Catalogue.h"
#include "LaunchListFile.h"
#include "launch/PlaceholderTable.h"

#include <Lanyard/ExternalApps.h>

namespace Lanyard {

/// The state of an ExternalApps object, reachable by the library's own parts.
class ExternalAppsPrivate
{
public:
    static ExternalAppsPrivate *get(ExternalApps *q) { return q->d.get(); }
    static const ExternalAppsPrivate *get(const ExternalApps *q) { return q->d.get(); }

    Catalogue catalogue;
    PlaceholderTable placeholders;
    QString extFile;
    /// How the launch list was read, so that it is written back the same way.
    LaunchListFile::Encoding launchListEncoding = LaunchListFile::Encoding::Utf8;
    Lanyard::Language language = Language::lEnglish;

    /// Resolves a number-or-name group argument: a name gives FindGroup's result (-1 when
    /// not found), any other value its 16-bit conversion.
    qint16 resolveGroup(const QVariant &groupIndex) const;
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
};

} // namespace Lanyard

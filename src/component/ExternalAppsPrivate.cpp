// SPDX-License-Identifier: MIT
#include "ExternalAppsPrivate.h"

#include "icons/mGetFileIcon.h"
#include "ui/MissingProgramBox.h"
#include "util/Attempt.h"
#include "util/FileListing.h"
#include "util/Raise.h"
#include "util/VariantOps.h"

#include <QPointer>

#include <set>

namespace Lanyard {

namespace {

constexpr qint32 iconSizeSmall = 1;

} // namespace

ExternalApps::Private::Private(ExternalApps *q)
    : q(q)
    , catalogue([](const QString &path) { return mGetFileIcon::GetFileIcon(path, iconSizeSmall); })
    , live(launchList, catalogue, this, [q] { Q_EMIT q->catalogueChanged(); })
{
}

bool ExternalApps::Private::refreshPlaceholders() const
{
    if (askingForPlaceholders)
        return true;
    const QPointer<ExternalApps> alive(q);
    askingForPlaceholders = true;
    Q_EMIT q->placeholdersWanted();
    if (!alive)
        return false;
    askingForPlaceholders = false;
    return true;
}

void ExternalApps::Private::reportByName(const ComponentError &error, std::optional<ComponentError> *sink)
{
    if (sink) {
        *sink = error;
        return;
    }
    const QString detail = error.detail();
    Q_EMIT q->errorOccurred(error.number(),
                            detail.isEmpty() ? error.description() : error.description() + u": "_s + detail);
}

qint16 ExternalApps::Private::resolveGroup(const QVariant &groupIndex) const
{
    if (VariantOps::holdsName(groupIndex))
        return catalogue.findGroup(VariantOps::toText(groupIndex));
    return VariantOps::toInt16(groupIndex);
}

qint16 ExternalApps::Private::findApp(const QVariant &groupIndex, const QString &name) const
{
    const qint16 group = resolveGroup(groupIndex);
    return group == -1 ? qint16(-1) : catalogue.findApp(group, name);
}

qint16 ExternalApps::Private::resolveApp(qint16 group, const QVariant &appIndex) const
{
    if (!VariantOps::holdsName(appIndex))
        return VariantOps::toInt16(appIndex);
    // The group slot's name finds the group, which is another slot when an earlier group in
    // use has the same name.
    return findApp(catalogue.group(group).GroupName(), VariantOps::toText(appIndex));
}

ExternalApps::Private::Slot ExternalApps::Private::resolveSlot(const QVariant &groupIndex,
                                                               const QVariant &appIndex) const
{
    const qint16 group = resolveGroup(groupIndex);
    const qint16 app = resolveApp(group, appIndex);
    catalogue.checkSlot(group, app);
    return {group, app};
}

QString ExternalApps::Private::storable(LaunchListFile::Field field, const QString &value) const
{
    const Result<void> fits = LaunchListFile::storable(field, value, launchList.encoding());
    if (!fits)
        raiseError(ErrorCode::InvalidArgument, u'"' + value + u"\": "_s + fits.error().detail());
    return value;
}

void ExternalApps::Private::setField(LaunchListFile::Field field, const QVariant &groupIndex, const QVariant &appIndex,
                                     const QString &value)
{
    const Slot slot = resolveSlot(groupIndex, appIndex);
    const QString stored = storable(field, value);
    switch (field) {
    case LaunchListFile::Field::Path:
        return catalogue.setAppPath(slot.group, slot.app, stored);
    case LaunchListFile::Field::CmdLine:
        return catalogue.setCmdLine(slot.group, slot.app, stored);
    case LaunchListFile::Field::Name:
        return catalogue.setApplicationName(slot.group, slot.app, stored);
    case LaunchListFile::Field::Group:
        return catalogue.setGroupName(slot.group, stored);
    }
}

void ExternalApps::Private::writeList()
{
    const bool listChanges = launchList.hasChangesToSave(catalogue);
    std::set<ToolBehaviours::Key> listed;
    launchList.save(catalogue, [&](const LaunchListEntry &entry) { listed.insert({entry.group, entry.name}); });
    if (listChanges)
        behaviours.save([&](const ToolBehaviours::Key &tool) { return listed.count(tool) != 0; });
    else
        behaviours.save();
}

void ExternalApps::Private::followTool(const ToolBehaviours::Key &from, const std::optional<ToolBehaviours::Key> &to)
{
    const bool stays = bool(find(from.first, from.second));
    if (to && stays)
        behaviours.set(*to, behaviours.value(from));
    else if (to)
        behaviours.rename(from, *to);
    else if (!stays)
        behaviours.remove(from);
}

Result<ExternalApps::Private::Slot> ExternalApps::Private::find(const QString &group, const QString &app) const
{
    const qint16 g = catalogue.findGroup(group);
    const qint16 a = g == -1 ? qint16(-1) : catalogue.findApp(g, app);
    if (a == -1)
        return ComponentError(ErrorCode::IndexOutOfRange, u"no application \"%1\" in group \"%2\""_s.arg(app, group));
    return Slot{g, a};
}

Result<LaunchCommand> ExternalApps::Private::planLaunch(const QString &group, const QString &app,
                                                        const LaunchOptions &options)
{
    const Result<Slot> entry = find(group, app);
    if (!entry)
        return ComponentError(ErrorCode::IndexOutOfRange, u"no such application"_s);
    // The record stays where it is while a missing program's message box runs the event loop.
    const LiveList::Hold hold(live);
    const ApplicationRecord &record = catalogue.app(entry->group, entry->app);
    // A launch's own values go into a copy: the host's table stays as it registered it.
    std::optional<PlaceholderTable> withValues;
    if (!options.values.isEmpty()) {
        withValues = placeholders;
        for (const auto &[label, value] : options.values)
            withValues->add(label, value);
    }
    const PlaceholderTable &table = withValues ? *withValues : placeholders;
    Result<LaunchCommand> command = Launcher::prepare(record.AppPath, record.CmdLine, table,
                                                      showMissingProgram ? MissingProgramBox::show : nullptr);
    if (!command || options.folder.isEmpty())
        return command;
    LaunchCommand planned = command.value();
    planned.folder = FileListing::absolutePath(table.replaced(options.folder));
    return planned;
}

QList<LaunchEntries::Group> ExternalApps::Private::groups() const
{
    QList<Group> groups;
    for (qint16 g = 0; g < catalogue.groupCount(); ++g) {
        const ProgramGroup &group = catalogue.group(g);
        Group shown{group.GroupName(), {}};
        for (qint16 a = 0; a < group.AppCount(); ++a) {
            const ApplicationRecord &record = catalogue.app(g, a);
            shown.apps.append({record.ApplicationName, record.Icon, record.AppPath});
        }
        groups.append(shown);
    }
    return groups;
}

Result<Entry> ExternalApps::Private::entry(const QString &group, const QString &app) const
{
    const Result<Slot> slot = find(group, app);
    if (!slot)
        return slot.error();
    const ApplicationRecord &record = catalogue.app(slot->group, slot->app);
    return Entry{group, app, record.AppPath, record.CmdLine, record.AppProtected != 0};
}

QList<LaunchEntries::Placeholder> ExternalApps::Private::placeholderList() const
{
    QList<Placeholder> list;
    // The picker shows the values a launch would use now. (Deleting the object from the
    // handler unloads the picker first; nothing is left to fill.)
    if (!refreshPlaceholders())
        return list;
    for (qint16 k = 0; k < placeholders.count(); ++k)
        list.append({placeholders.at(k).search, placeholders.at(k).replace});
    return list;
}

Result<bool> ExternalApps::Private::add(const Entry &entry)
{
    return attempt([&] { return q->AddApp(entry.group, entry.name, entry.path, entry.cmdLine, entry.isProtected); });
}

Result<bool> ExternalApps::Private::edit(const QString &group, const QString &app, const Entry &edited)
{
    return attempt([&] {
        q->EditApp(group, app, edited.group, edited.name, edited.isProtected, edited.path, edited.cmdLine);
        // A move into a full group is refused and leaves the entry where it was.
        return edited.group == group || !find(group, app);
    });
}

Result<void> ExternalApps::Private::remove(const QString &group, const QString &app)
{
    return attempt([&] { q->DeleteApp(group, app); });
}

} // namespace Lanyard

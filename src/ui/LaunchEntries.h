// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Entry.h>
#include <Lanyard/Result.h>
#include <Lanyard/ToolBehaviour.h>

#include <QIcon>
#include <QList>
#include <QString>

namespace Lanyard {

/**
 * What the configuration windows see of a catalogue and the changes they make to it: the
 * groups in use with their applications, one entry looked up by its names, the placeholders,
 * and adding, editing and deleting an entry. Nothing here throws: a look-up or change that
 * fails gives the ComponentError in its Result. The component implements it; the windows never
 * see the component.
 */
class LaunchEntries
{
public:
    struct App
    {
        QString name;
        QIcon icon;   ///< null when the program has none
        QString path; ///< the program path, as stored
    };
    struct Group
    {
        QString name;
        QList<App> apps;
    };
    struct Placeholder
    {
        QString search;
        QString replace;
    };

    /// The groups in use, in slot order, each with its applications (none when all were deleted).
    virtual QList<Group> groups() const = 0;
    /// The application named @p app in the group named @p group; IndexOutOfRange when either
    /// is not there.
    virtual Result<Entry> entry(const QString &group, const QString &app) const = 0;
    virtual QList<Placeholder> placeholderList() const = 0;
    virtual int maxGroups() const = 0;
    virtual int maxApps() const = 0;

    /// Adds @p entry; false when a limit refused it (the catalogue is then as it was).
    virtual Result<bool> add(const Entry &entry) = 0;
    /// Replaces the entry @p group / @p app by @p edited; false when a move into a full group
    /// was refused and the entry stayed where it was.
    virtual Result<bool> edit(const QString &group, const QString &app, const Entry &edited) = 0;
    virtual Result<void> remove(const QString &group, const QString &app) = 0;

    /// How the tool behaves in a Tools menu; a catalogue without behaviours gives the default.
    virtual ToolBehaviour behaviour(const QString &group, const QString &app) const
    {
        Q_UNUSED(group);
        Q_UNUSED(app);
        return ToolBehaviour();
    }
    virtual void setBehaviour(const QString &group, const QString &app, const ToolBehaviour &behaviour)
    {
        Q_UNUSED(group);
        Q_UNUSED(app);
        Q_UNUSED(behaviour);
    }
    /// The program list window that showed this catalogue closed, or went on to another one.
    virtual void windowClosed() { }

protected:
    ~LaunchEntries() = default;
};

} // namespace Lanyard

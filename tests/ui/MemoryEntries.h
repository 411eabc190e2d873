// SPDX-License-Identifier: MIT
#pragma once

// A catalogue as the windows see it, without the component: the real Catalogue and a list of
// placeholders behind the windows' LaunchEntries.
#include "catalogue/Catalogue.h"
#include "ui/LaunchEntries.h"
#include "util/Attempt.h"

#include <QStringList>
#include <QTest>

#include <algorithm>
#include <optional>

namespace UiTest {

class MemoryEntries final : public Lanyard::LaunchEntries
{
public:
    Lanyard::Catalogue catalogue;
    QList<Placeholder> placeholders;
    /// Groups reported before the catalogue's, without applications, as the interface allows.
    QStringList emptyGroups;

    MemoryEntries()
    {
        catalogue.setMaxGroups(5);
        catalogue.setMaxApps(5);
    }

    QList<Group> groups() const override
    {
        QList<Group> groups;
        for (const QString &name : emptyGroups)
            groups.append({name, {}});
        for (qint16 g = 0; g < catalogue.groupCount(); ++g) {
            Group shown{catalogue.group(g).GroupName(), {}};
            for (qint16 a = 0; a < catalogue.group(g).AppCount(); ++a)
                shown.apps.append({catalogue.app(g, a).ApplicationName, catalogue.app(g, a).Icon});
            groups.append(shown);
        }
        return groups;
    }
    Lanyard::Result<Lanyard::Entry> entry(const QString &group, const QString &app) const override
    {
        const qint16 g = catalogue.findGroup(group);
        const qint16 a = g == -1 ? qint16(-1) : catalogue.findApp(g, app);
        if (a == -1)
            return Lanyard::ComponentError(Lanyard::ErrorCode::IndexOutOfRange);
        const Lanyard::ApplicationRecord &record = catalogue.app(g, a);
        return Lanyard::Entry{group, app, record.AppPath, record.CmdLine, record.AppProtected != 0};
    }
    QList<Placeholder> placeholderList() const override { return placeholders; }
    int maxGroups() const override { return catalogue.maxGroups(); }
    int maxApps() const override { return catalogue.maxApps(); }
    /// Whether add and edit refuse, with InvalidArgument, a group or name a Latin-1 launch list
    /// cannot hold: a character beyond Latin-1, or a group opening a comment. Path and command
    /// line are bytes for the system and fit. A comma, which ends a field, is refused anywhere.
    bool latin1 = false;
    /// A failure every add, edit and removal gives, as a list that cannot be written would.
    std::optional<Lanyard::ComponentError> failing;

    Lanyard::Result<bool> add(const Lanyard::Entry &e) override
    {
        if (failing)
            return *failing;
        if (const auto refused = refusal(e))
            return *refused;
        return Lanyard::attempt([&] { return catalogue.addApp(e.group, e.name, e.path, e.cmdLine, e.isProtected); });
    }
    Lanyard::Result<bool> edit(const QString &group, const QString &app, const Lanyard::Entry &e) override
    {
        if (const auto found = entry(group, app); !found)
            return found.error();
        if (failing)
            return *failing;
        if (const auto refused = refusal(e))
            return *refused;
        const qint16 g = catalogue.findGroup(group);
        catalogue.editApp(g, catalogue.findApp(g, app), e.group, e.name, e.isProtected, e.path, e.cmdLine);
        return e.group == group || !entry(group, app);
    }
    Lanyard::Result<void> remove(const QString &group, const QString &app) override
    {
        if (const auto found = entry(group, app); !found)
            return found.error();
        if (failing)
            return *failing;
        const qint16 g = catalogue.findGroup(group);
        catalogue.deleteApp(g, catalogue.findApp(g, app));
        return {};
    }

    std::optional<Lanyard::ComponentError> refusal(const Lanyard::Entry &e) const
    {
        for (const QString &text : {e.group, e.name, e.path, e.cmdLine}) {
            if (text.contains(u','))
                return Lanyard::ComponentError(Lanyard::ErrorCode::InvalidArgument, QStringLiteral("a comma"));
        }
        if (!latin1)
            return std::nullopt;
        for (const QString &text : {e.group, e.name}) {
            if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; }))
                return Lanyard::ComponentError(Lanyard::ErrorCode::InvalidArgument, QStringLiteral("not Latin-1"));
        }
        if (e.group.startsWith(u';'))
            return Lanyard::ComponentError(Lanyard::ErrorCode::InvalidArgument, QStringLiteral("a comment"));
        return std::nullopt;
    }

    /// Every application in use as "group|name|path|command|protected", in slot order.
    QStringList dump() const
    {
        QStringList entries;
        for (const Group &group : groups()) {
            for (const App &app : group.apps) {
                const Lanyard::Entry e = entry(group.name, app.name).value();
                entries << QStringList{e.group, e.name, e.path, e.cmdLine, QString::number(e.isProtected ? -1 : 0)}
                               .join(u'|');
            }
        }
        return entries;
    }
    /// Adds entries written as dump() writes them; the command and the flag may be left off.
    void fill(const QStringList &entries)
    {
        for (const QString &line : entries) {
            const QStringList f = line.split(u'|');
            QVERIFY2(catalogue.addApp(f.at(0), f.at(1), f.at(2), f.value(3), f.value(4, QStringLiteral("0")) != u"0"),
                     qPrintable(line));
        }
    }
};

} // namespace UiTest

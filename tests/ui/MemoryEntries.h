// SPDX-License-Identifier: MIT
#pragma once
// A catalogue as the windows see it, without the component: the real Catalogue behind LaunchEntries.
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
    using Error = Lanyard::ComponentError;

public:
    Lanyard::Catalogue catalogue;
    QList<Placeholder> placeholders;
    QStringList emptyGroups;      // reported first, without applications, as the interface allows
    bool latin1 = false;          // refuses names beyond Latin-1 and a group opening a comment, as a Latin-1 list does
    std::optional<Error> failing; // what every change gives, as a list that cannot be written would

    MemoryEntries() { catalogue.setMaxGroups(5), catalogue.setMaxApps(5); }

    QList<Group> groups() const override
    {
        QList<Group> groups;
        for (const QString &name : emptyGroups)
            groups.append({name, {}});
        for (qint16 g = 0; g < catalogue.groupCount(); ++g) {
            groups.append({catalogue.group(g).GroupName(), {}});
            for (qint16 a = 0; a < catalogue.group(g).AppCount(); ++a)
                groups.last().apps.append(
                    {catalogue.app(g, a).ApplicationName, catalogue.app(g, a).Icon, catalogue.app(g, a).AppPath});
        }
        return groups;
    }
    Lanyard::Result<Lanyard::Entry> entry(const QString &group, const QString &app) const override
    {
        const qint16 g = catalogue.findGroup(group), a = g == -1 ? qint16(-1) : catalogue.findApp(g, app);
        if (a == -1)
            return Error(Lanyard::ErrorCode::IndexOutOfRange);
        const Lanyard::ApplicationRecord &r = catalogue.app(g, a);
        return Lanyard::Entry{group, app, r.AppPath, r.CmdLine, r.AppProtected != 0};
    }
    QList<Placeholder> placeholderList() const override { return placeholders; }
    int maxGroups() const override { return catalogue.maxGroups(); }
    int maxApps() const override { return catalogue.maxApps(); }

    Lanyard::Result<bool> add(const Lanyard::Entry &e) override
    {
        if (const std::optional<Error> refused = failing ? failing : refusal(e))
            return *refused;
        return Lanyard::attempt([&] { return catalogue.addApp(e.group, e.name, e.path, e.cmdLine, e.isProtected); });
    }
    Lanyard::Result<bool> edit(const QString &group, const QString &app, const Lanyard::Entry &e) override
    {
        if (const auto found = entry(group, app); !found)
            return found.error();
        if (const std::optional<Error> refused = failing ? failing : refusal(e))
            return *refused;
        const qint16 g = catalogue.findGroup(group);
        catalogue.editApp(g, catalogue.findApp(g, app), e.group, e.name, e.isProtected, e.path, e.cmdLine);
        return e.group == group || !entry(group, app);
    }
    Lanyard::Result<void> remove(const QString &group, const QString &app) override
    {
        if (const auto found = entry(group, app); !found || failing)
            return found ? *failing : found.error();
        const qint16 g = catalogue.findGroup(group);
        return catalogue.deleteApp(g, catalogue.findApp(g, app)), Lanyard::Result<void>();
    }
    std::optional<Error> refusal(const Lanyard::Entry &e) const
    {
        const auto has = [](const QString &text, auto test) { return std::any_of(text.cbegin(), text.cend(), test); };
        if (has(e.group + e.name + e.path + e.cmdLine,
                [](QChar c) { return c.isNull() || QStringView(u",\r\n").contains(c); }))
            return Error(Lanyard::ErrorCode::InvalidArgument, QStringLiteral("a field end"));
        if (latin1 && (has(e.group + e.name, [](QChar c) { return c.unicode() > 0xFF; }) || e.group.startsWith(u';')))
            return Error(Lanyard::ErrorCode::InvalidArgument, QStringLiteral("not Latin-1"));
        return std::nullopt;
    }

    /// "group|name|path|command|protected" (-1 or 0), in slot order.
    QStringList dump() const
    {
        QStringList entries;
        for (qint16 g = 0; g < catalogue.groupCount(); ++g)
            for (qint16 a = 0; a < catalogue.group(g).AppCount(); ++a)
                entries << QStringList{catalogue.group(g).GroupName(), catalogue.app(g, a).ApplicationName,
                                       catalogue.app(g, a).AppPath, catalogue.app(g, a).CmdLine,
                                       catalogue.app(g, a).AppProtected ? "-1" : "0"}
                               .join(u'|');
        return entries;
    }
    void fill(const QStringList &entries)
    {
        for (const QString &entry : entries) {
            const QStringList f = entry.split(u'|');
            QVERIFY(catalogue.addApp(f.at(0), f.at(1), f.at(2), f.value(3), f.value(4) == u"-1"));
        }
    }
};

} // namespace UiTest

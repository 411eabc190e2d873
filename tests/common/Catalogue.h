// SPDX-License-Identifier: MIT
#pragma once

// A catalogue's entries as text, entries made from text, the error a call raises or invoke() gives.
#include <Lanyard/ExternalApps.h>

#include <QStringList>
#include <QTest>

#include <functional>

/// Every application in use as "group|name|path|command|protected", in slot order.
inline QStringList dump(const Lanyard::ExternalApps &apps)
{
    QStringList entries;
    for (qint16 g = 0; g < apps.GroupCount(); ++g) {
        const QVariant group(g);
        for (qint16 a = 0; a < apps.AppCount(group); ++a) {
            entries << QStringList{apps.GroupName(g), apps.ApplicationName(group, a), apps.AppPath(group, a),
                                   apps.CmdLine(group, a), QString::number(apps.AppProtected(group, a))}
                           .join(u'|');
        }
    }
    return entries;
}

/// Adds entries written as dump() writes them; the command and the flag may be left off.
inline void fill(Lanyard::ExternalApps &apps, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QStringList f = entry.split(u'|');
        QVERIFY2(apps.AddApp(f.at(0), f.at(1), f.at(2), f.value(3), f.value(4, QStringLiteral("0")) != u"0"),
                 qPrintable(entry));
    }
}

/// "NUMBER MESSAGE" of the ComponentError that @p call throws; empty when it throws none.
inline QString failureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const Lanyard::ComponentError &error) {
        return QString::number(error.number()) + u' ' + error.message();
    }
    return QString();
}

/// The same of what ExternalApps::invoke() gave.
inline QString failureOf(const QVariantMap &r)
{
    const QString detail = r.value(QStringLiteral("detail")).toString();
    return r.value(QStringLiteral("error")).toInt() == 0
               ? QString()
               : r.value(QStringLiteral("error")).toString() + u' ' + r.value(QStringLiteral("description")).toString()
                     + (detail.isEmpty() ? "" : ": " + detail);
}

/// The number of the ComponentError that @p call throws; 0 when it throws none.
inline int errorOf(const std::function<void()> &call) { return failureOf(call).section(u' ', 0, 0).toInt(); }

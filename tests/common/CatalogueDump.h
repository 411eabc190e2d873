#pragma once

#include <Lanyard/ExternalApps.h>

#include <QStringList>

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

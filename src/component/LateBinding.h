#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace Lanyard {

class ExternalApps;

/// Calls ExternalApps members by name at run time, as a late-binding client does. Booleans
/// come back as true/false, AppProtected's included; a Language may be given by its name.
class LateBinding
{
public:
    /// See ExternalApps::invoke.
    static QVariantMap invoke(ExternalApps &apps, const QString &member, const QString &kind,
                              const QVariantList &arguments);

    /// One row of the table: a member's name, its kind ("get", "let", "call") and how many
    /// arguments it takes (a let's value included).
    struct Row
    {
        QString name;
        QString kind;
        int minArgs;
        int maxArgs;
    };
    /// The whole table, for the check that the meta-object declares each member.
    static QList<Row> rows();

};

} // namespace Lanyard

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

};

} // namespace Lanyard

#pragma once

#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace Lanyard {

class ExternalApps;

/// Calls ExternalApps members by name at run time, as a late-binding client does.
class LateBinding
{
public:
    /// See ExternalApps::invoke.
    static QVariantMap invoke(ExternalApps &apps, const QString &member, const QString &kind,
                              const QVariantList &arguments);

    /// AppProtected's let side: a Boolean stores -1 or 0, a number is stored as it is.
    static QVariant letAppProtected(ExternalApps &apps, const QVariantList &arguments);
};

} // namespace Lanyard

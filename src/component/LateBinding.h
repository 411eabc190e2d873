// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ComponentError.h>

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

namespace Lanyard {

class ExternalApps;

/// Calls ExternalApps members by name at run time, as a late-binding client does, through the
/// members its meta-object declares (see ExternalApps.h): there is no other list of them.
class LateBinding
{
public:
    /// Where a forwarder puts its error while invoke() calls it (ExternalApps::Private).
    using ErrorSink = std::optional<ComponentError> *;

    /// See ExternalApps::invoke; @p errorSink is the object's.
    static QVariantMap invoke(ExternalApps &apps, ErrorSink &errorSink, const QString &member, const QString &kind,
                              const QVariantList &arguments);
};

} // namespace Lanyard

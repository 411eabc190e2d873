// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QObject>

namespace Lanyard {

Q_NAMESPACE_EXPORT(LANYARD_EXPORT)

/// Language of the configuration windows; known by name to the meta-object system.
enum class Language : qint32 {
    lEnglish = 0,
    lGerman = 1,
    lFrench = 2,
};
Q_ENUM_NS(Language)

} // namespace Lanyard

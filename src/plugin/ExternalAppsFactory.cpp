// SPDX-License-Identifier: MIT
#include "ExternalAppsFactory.h"

#include <Lanyard/ExternalApps.h>

namespace Lanyard {

QObject *ExternalAppsFactory::create(QObject *parent) { return new ExternalApps(parent); }

} // namespace Lanyard

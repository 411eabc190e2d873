#include "LaunchListFile.h"

namespace Lanyard {

void LaunchListFile::load(ExternalApps &, const QString &) {}

void LaunchListFile::save(const Catalogue &, const QString &) {}

} // namespace Lanyard

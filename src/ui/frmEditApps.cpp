#include "frmEditApps.h"

namespace Lanyard {

void frmEditApps::ShowFor(ExternalApps *, qint32, QWidget *) {}

void frmEditApps::Unload() {}

} // namespace Lanyard

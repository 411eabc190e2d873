#include "HidingDialog.h"

#include <Lanyard/ExternalApps.h>

namespace Lanyard {

HidingDialog::HidingDialog(QWidget *owner)
    : QDialog(owner)
{
}

ExternalApps *HidingDialog::LaunchAppClass() const { return m_apps; }

void HidingDialog::setLaunchAppClass(ExternalApps *apps)
{
    m_apps = apps;
    fill();
}

void HidingDialog::reject() { leave(true); }

void HidingDialog::leave(bool cancel)
{
    setCancel(cancel);
    hide();
}

} // namespace Lanyard

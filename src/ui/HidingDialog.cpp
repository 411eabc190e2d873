#include "HidingDialog.h"

#include "LaunchEntries.h"

namespace Lanyard {

HidingDialog::HidingDialog(QWidget *owner)
    : QDialog(owner)
{
}

LaunchEntries *HidingDialog::LaunchAppClass() const { return m_apps; }

void HidingDialog::setLaunchAppClass(LaunchEntries *apps)
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

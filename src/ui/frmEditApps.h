#pragma once

#include <QtGlobal>

class QWidget;

namespace Lanyard {

class ExternalApps;

/// The program list window: one per process, shared by all ExternalApps objects.
class frmEditApps
{
public:
    /// Loads the window if needed, points it at @p apps and shows it (modal when @p modal is 1).
    static void ShowFor(ExternalApps *apps, qint32 modal, QWidget *owner);
    /// Unloads the window if it is loaded.
    static void Unload();
};

} // namespace Lanyard

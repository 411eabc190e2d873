#pragma once

#include <QDialog>

namespace Lanyard {

class LaunchEntries;

/**
 * A modal dialog of the configuration windows, serving one catalogue, that the user
 * leaves by accepting or by cancelling (Escape, the close box or a Cancel button). Leaving only
 * hides it: its opener reads how the user left and what was chosen, then unloads it.
 */
class HidingDialog : public QDialog
{
    Q_OBJECT

public:
    LaunchEntries *LaunchAppClass() const;
    /// Stores @p apps (null: none) and fills the dialog from it. Whoever owns @p apps unloads
    /// the dialog before releasing it.
    void setLaunchAppClass(LaunchEntries *apps);

public Q_SLOTS:
    /// Escape and the close box: the user leaves without accepting.
    void reject() override;

protected:
    explicit HidingDialog(QWidget *owner);

    /// Fills the dialog's lists from LaunchAppClass, which may be null.
    virtual void fill() = 0;
    /// Keeps how the user left: @p cancel is true when without accepting.
    virtual void setCancel(bool cancel) = 0;

    void leave(bool cancel);

private:
    LaunchEntries *m_apps = nullptr;
};

} // namespace Lanyard

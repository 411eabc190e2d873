#pragma once

#include "ImageList.h"
#include "SingleWindow.h"

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Lanyard {

class ExternalApps;

/**
 * The application dialog: collects the group, name, path, command line and protected flag of
 * one application. One per process. It changes nothing in the catalogue; its caller reads the
 * fields and Cancel after the modal show and then unloads it.
 *
 * Leaving by OK, Cancel, Escape or the close box only hides it, so the fields stay readable.
 */
class frmNewApp : public QDialog, public SingleWindow<frmNewApp>
{
    Q_OBJECT

public:
    struct Fields
    {
        QString group;
        QString name;
        QString path;
        QString cmdLine;
        bool isProtected = false;
    };

    /// The loaded dialog, loaded now (owned by @p owner, texts in the current language) if it was not.
    static frmNewApp *Load(QWidget *owner);
    /// Unloads the dialog if it is loaded.
    static void Unload();

    ExternalApps *LaunchAppClass() const;
    /// Stores @p apps and fills the group list, which empties the group text.
    void setLaunchAppClass(ExternalApps *apps);

    /// True when the user left by Cancel, Escape or the close box; false after OK.
    bool Cancel() const;

    Fields fields() const;
    void setFields(const Fields &fields);

    /// The images "EXE", "GROUP" and "TEXT", in that order.
    const ImageList &imgApps() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public Q_SLOTS:
    void reject() override;

private:
    friend class SingleWindow<frmNewApp>;
    explicit frmNewApp(QWidget *owner);
    ~frmNewApp() override;

    void FillGroups();
    void Browse();
    void InsertKeyword();
    void leave(bool cancel);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

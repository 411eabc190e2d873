// SPDX-License-Identifier: MIT
#pragma once

#include "HidingDialog.h"
#include "ImageList.h"
#include "SingleWindow.h"

#include <Lanyard/Entry.h>
#include <Lanyard/Result.h>

#include <functional>
#include <memory>

namespace Lanyard {

/**
 * The application dialog: collects the group, name, path, command line and protected flag of
 * one application. One per process. It changes nothing in the catalogue; its caller reads the
 * fields and Cancel after the modal show and then unloads it.
 *
 * OK takes only an entry that has a group, a name and a path or a command line; it says what
 * is missing otherwise. Leaving by OK, Cancel, Escape or the close box only hides the dialog,
 * so the fields stay readable.
 */
class frmNewApp : public HidingDialog, public SingleWindow<frmNewApp>
{
    Q_OBJECT

public:
    using Fields = Entry;

    /// The loaded dialog, loaded now (owned by @p owner, texts in the current language) if it was not.
    static frmNewApp *Load(QWidget *owner);
    /// Unloads the dialog if it is loaded.
    static void Unload();

    /// True when the user left by Cancel, Escape or the close box; false after OK.
    bool Cancel() const;

    /// The fields without tabs and spaces at either end, which a launch list cannot keep.
    Fields fields() const;
    void setFields(const Fields &fields);

    /// Stores the fields OK accepts; a failure says why the launch list refused one of their
    /// texts. The dialog then stays open with everything typed, names the character at fault
    /// and selects it.
    using Store = std::function<Result<void>(const Fields &)>;
    /// OK hands the complete fields to @p store before leaving; without one it only leaves.
    void setStore(Store store);

    /// The images "EXE", "GROUP" and "TEXT", in that order.
    const ImageList &imgApps() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    /// Fills the group list, which empties the group text.
    void fill() override;
    void setCancel(bool cancel) override;

private:
    friend class SingleWindow<frmNewApp>;
    explicit frmNewApp(QWidget *owner);
    ~frmNewApp() override;

    void Browse();
    void InsertKeyword();
    void confirm();
    /// Whether the store refused @p entry; then the user has been told.
    bool refusedByStore(const Fields &entry);
    void showRefusal(const QString &detail);
    bool refusesKey(QObject *watched, const QKeyEvent *key);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

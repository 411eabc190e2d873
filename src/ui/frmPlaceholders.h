// SPDX-License-Identifier: MIT
#pragma once

#include "HidingDialog.h"
#include "ImageList.h"
#include "SingleWindow.h"

class QTreeWidget;

namespace Lanyard {

/**
 * The placeholder picker: lists the placeholders of a catalogue with their current
 * replacements and lets the user choose one. One per process. Its Cancel flag and held strings
 * belong to the process, not to the window: they survive unloading and start empty.
 *
 * The caller loads it, sets LaunchAppClass (which fills the list), shows it with exec(),
 * reads Cancel and SearchString, and unloads it.
 */
class frmPlaceholders : public HidingDialog, public SingleWindow<frmPlaceholders>
{
    Q_OBJECT

public:
    /// The loaded picker, loaded now (owned by @p owner) if it was not. Its items show the
    /// "TEXT" image of @p images, the image list of the dialog that opens it.
    static frmPlaceholders *Load(QWidget *owner,
                                 const ImageList &images = ImageList::ofResources({QStringLiteral("TEXT")}));
    /// Unloads the picker if it is loaded; Cancel becomes false.
    static void Unload();

    /// True when the user last left the picker without choosing a placeholder.
    static bool Cancel();
    /// The search string of the placeholder the user last made current or chose.
    static QString SearchString();
    /// The replacement shown beside that search string.
    static QString ReplaceString();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    /// Fills the list from the placeholder table, the first placeholder current.
    void fill() override;
    void setCancel(bool cancel) override;

private:
    friend class SingleWindow<frmPlaceholders>;
    frmPlaceholders(QWidget *owner, const ImageList &images);
    ~frmPlaceholders() override;

    /// Sizes the columns and the window to the headers and rows.
    void fitToContents();
    void holdCurrentItem();
    void chooseCurrentItem();

    QTreeWidget *m_list = nullptr;
    ImageList m_images;
};

} // namespace Lanyard

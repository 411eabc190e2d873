// SPDX-License-Identifier: MIT
#include "frmPlaceholders.h"

#include "Captions.h"
#include "ColumnFit.h"
#include "ElidedItemToolTip.h"
#include "KeyRules.h"
#include "ScreenFit.h"
#include "TreeAnnouncer.h"
#include "Twips.h"

#include "LaunchEntries.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

struct HeldChoice
{
    bool cancel = false;
    QString search;
    QString replace;
};

HeldChoice &held()
{
    static HeldChoice choice;
    return choice;
}

bool isChoosingKey(int key) { return KeyRules::isEnter(key) || key == Qt::Key_Space; }

/// A double click on a row of @p list, not on the empty space below them.
bool isDoubleClickOnRow(const QTreeWidget *list, const QEvent *event)
{
    if (event->type() != QEvent::MouseButtonDblClick)
        return false;
    return list->itemAt(static_cast<const QMouseEvent *>(event)->position().toPoint()) != nullptr;
}

} // namespace

frmPlaceholders::frmPlaceholders(QWidget *owner, const ImageList &images)
    : HidingDialog(owner)
    , m_images(images)
{
    setObjectName(u"frmPlaceholders"_s);
    setWindowTitle(Captions::text(TextId::PickerCaption));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(u"lvPlaceholders"_s);
    m_list->setToolTip(Captions::text(TextId::PickerTip));
    // No label names the list: for screen readers the window's caption does, and a view does
    // not offer its tooltip as description by itself.
    m_list->setAccessibleName(windowTitle());
    m_list->setAccessibleDescription(m_list->toolTip());
    m_list->setItemDelegate(new ElidedItemToolTip(m_list));
    Twips::setMinimumSize(m_list, 5160, 2760);
    m_list->setColumnCount(2);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setSectionsMovable(false);
    new TreeAnnouncer(m_list);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Twips::margins(this, 120, 120, 120, 120));
    layout->addWidget(m_list);
    m_list->setHeaderLabels({Captions::text(TextId::PlaceholderHeader), Captions::text(TextId::ExampleHeader)});
    resize(minimumSizeHint());

    connect(m_list, &QTreeWidget::currentItemChanged, this, &frmPlaceholders::holdCurrentItem);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
}

frmPlaceholders::~frmPlaceholders() = default;

frmPlaceholders *frmPlaceholders::Load(QWidget *owner, const ImageList &images)
{
    return loadWith([&] { return new frmPlaceholders(owner, images); });
}

void frmPlaceholders::Unload()
{
    held().cancel = false;
    deleteLoaded();
}

bool frmPlaceholders::Cancel() { return held().cancel; }
QString frmPlaceholders::SearchString() { return held().search; }
QString frmPlaceholders::ReplaceString() { return held().replace; }

void frmPlaceholders::setCancel(bool cancel) { held().cancel = cancel; }

void frmPlaceholders::fill()
{
    // The first row is made current here, not by the user: it is held only when chosen.
    const QSignalBlocker blocker(m_list);
    m_list->setIconSize(m_images.imageSize());
    m_list->clear();

    const QIcon textImage = m_images.icon(u"TEXT"_s);
    QList<QTreeWidgetItem *> items;
    const LaunchEntries *apps = LaunchAppClass();
    for (const LaunchEntries::Placeholder &placeholder :
         apps ? apps->placeholderList() : QList<LaunchEntries::Placeholder>()) {
        auto *item = new QTreeWidgetItem(QStringList{placeholder.search, placeholder.replace});
        item->setIcon(0, textImage);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    fitToContents();
    if (!items.isEmpty())
        m_list->setCurrentItem(items.first());
}

void frmPlaceholders::fitToContents()
{
    // Every header and row whole, the window growing with them up to two thirds of the screen.
    ColumnFit::fitColumns(m_list);
    const QSize list = ColumnFit::wholeSize(m_list, ScreenFit::share(this, 2, 3)).expandedTo(m_list->minimumSize());
    const QMargins margins = layout()->contentsMargins();
    ScreenFit::resizeWithin(this, list.grownBy(margins));
}

void frmPlaceholders::holdCurrentItem()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    held().search = item->text(0);
    held().replace = item->text(1);
}

void frmPlaceholders::chooseCurrentItem()
{
    // The highlighted row is the choice; without one there is nothing to insert.
    const bool hasCurrent = m_list->currentItem() != nullptr;
    holdCurrentItem();
    leave(!hasCurrent);
}

bool frmPlaceholders::eventFilter(QObject *watched, QEvent *event)
{
    // A double click below the rows chooses nothing.
    const bool choosing = (watched == m_list->viewport() && isDoubleClickOnRow(m_list, event))
                          || (watched == m_list && event->type() == QEvent::KeyPress
                              && isChoosingKey(static_cast<QKeyEvent *>(event)->key()));
    if (!choosing)
        return HidingDialog::eventFilter(watched, event);
    chooseCurrentItem();
    return true;
}

void frmPlaceholders::closeEvent(QCloseEvent *event)
{
    HidingDialog::closeEvent(event);
    // The close box unloads the picker as well; the program unloads it by deleting it.
    forgetLoaded();
    deleteLater();
}

} // namespace Lanyard

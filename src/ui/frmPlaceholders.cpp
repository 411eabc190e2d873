#include "frmPlaceholders.h"

#include "Captions.h"
#include "Twips.h"

#include <Lanyard/ExternalApps.h>

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

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

bool isChoosingKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space; }

} // namespace

frmPlaceholders::frmPlaceholders(QWidget *owner, const ImageList &images)
    : QDialog(owner)
    , m_images(images)
{
    setObjectName(u"frmPlaceholders"_s);
    setWindowTitle(Captions::text(TextId::PickerCaption));
    Twips::setClientSize(this, 5400, 3000);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(u"lvPlaceholders"_s);
    m_list->setToolTip(Captions::text(TextId::PickerTip));
    Twips::place(m_list, 120, 120, 5160, 2760);
    m_list->setColumnCount(2);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setSectionsMovable(false);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, m_list->contentsRect().width() * 2 / 5);
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

ExternalApps *frmPlaceholders::LaunchAppClass() const { return m_apps; }

void frmPlaceholders::setLaunchAppClass(ExternalApps *apps)
{
    m_apps = apps;
    FillList();
}

bool frmPlaceholders::Cancel() { return held().cancel; }
QString frmPlaceholders::SearchString() { return held().search; }
QString frmPlaceholders::ReplaceString() { return held().replace; }

void frmPlaceholders::FillList()
{
    m_list->setIconSize(m_images.imageSize());
    m_list->clear();

    const QIcon textImage = m_images.icon(u"TEXT"_s);
    QList<QTreeWidgetItem *> items;
    const qint16 count = m_apps ? m_apps->PlaceholderCount() : 0;
    for (qint16 k = 0; k < count; ++k) {
        auto *item = new QTreeWidgetItem(QStringList{m_apps->SearchString(k),
                                                     m_apps->ReplaceString(QVariant::fromValue(k))});
        item->setIcon(0, textImage);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    m_list->setHeaderLabels({Captions::text(TextId::PlaceholderHeader), Captions::text(TextId::ExampleHeader)});

    if (items.isEmpty())
        return;
    const int width = m_list->contentsRect().width();
    m_list->setColumnWidth(0, qRound(width * 0.35));
    m_list->setColumnWidth(1, qRound(width * 0.65));
    m_list->setCurrentItem(items.first());
}

void frmPlaceholders::holdCurrentItem()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    held().search = item->text(0);
    held().replace = item->text(1);
}

void frmPlaceholders::leave(bool cancel)
{
    held().cancel = cancel;
    hide();
}

bool frmPlaceholders::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            holdCurrentItem();
            break;
        case QEvent::MouseButtonDblClick:
            leave(false);
            return true;
        default:
            break;
        }
    } else if (watched == m_list) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (isChoosingKey(key) || key == Qt::Key_Escape) {
                leave(key == Qt::Key_Escape);
                return true;
            }
        } else if (event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down)
                holdCurrentItem();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmPlaceholders::reject() { leave(true); }

void frmPlaceholders::closeEvent(QCloseEvent *event)
{
    // Only the user closes the window; the program unloads it by deleting it.
    held().cancel = true;
    event->accept();
    forgetLoaded();
    deleteLater();
}

} // namespace Lanyard

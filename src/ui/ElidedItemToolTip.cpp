// SPDX-License-Identifier: MIT
#include "ElidedItemToolTip.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace Lanyard {

bool ElidedItemToolTip::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                  const QModelIndex &index)
{
    // The room the item needs against the room its column gives it.
    const bool isCut = event->type() == QEvent::ToolTip && index.isValid()
                       && sizeHint(option, index).width() > option.rect.width();
    if (!isCut)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(), option.rect);
    return true;
}

} // namespace Lanyard

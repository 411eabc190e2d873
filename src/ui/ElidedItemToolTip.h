// SPDX-License-Identifier: MIT
#pragma once

#include <QStyledItemDelegate>

namespace Lanyard {

/**
 * Draws items as usual and, over an item whose text is cut because its column is too narrow,
 * shows the whole text as tooltip. Over any other place the view's own tooltip shows.
 */
class ElidedItemToolTip : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};

} // namespace Lanyard

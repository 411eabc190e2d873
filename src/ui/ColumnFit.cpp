#include "ColumnFit.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

#include <vector>

namespace Lanyard::ColumnFit {

namespace {

struct Longest
{
    const QTreeWidgetItem *item = nullptr;
    int advance = -1;
};

/// The item of the longest text at each depth below @p parent.
void collectLongest(const QTreeWidgetItem *parent, int column, const QFontMetrics &metrics, size_t depth,
                    std::vector<Longest> &longest)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem *item = parent->child(i);
        if (longest.size() <= depth)
            longest.resize(depth + 1);
        const int advance = metrics.horizontalAdvance(item->text(column));
        if (advance > longest[depth].advance)
            longest[depth] = {item, advance};
        if (item->childCount() > 0)
            collectLongest(item, column, metrics, depth + 1, longest);
    }
}

/// What the view's delegate asks for @p item, as it asks when drawing it.
int drawnWidth(const QTreeWidget *view, const QTreeWidgetItem *item, int column)
{
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.font = view->font();
    option.fontMetrics = QFontMetrics(view->font());
    option.decorationSize = view->iconSize();
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const QModelIndex index = view->indexFromItem(item, column);
    return view->itemDelegateForIndex(index)->sizeHint(option, index).width();
}

} // namespace

int contentWidth(const QTreeWidget *view, int column)
{
    std::vector<Longest> longest;
    collectLongest(view->invisibleRootItem(), column, QFontMetrics(view->font()), 0, longest);
    int width = 0;
    const int firstIndent = view->rootIsDecorated() ? 1 : 0;
    for (size_t depth = 0; depth < longest.size(); ++depth) {
        if (!longest[depth].item)
            continue;
        const int indent = column == 0 ? view->indentation() * (static_cast<int>(depth) + firstIndent) : 0;
        width = std::max(width, indent + drawnWidth(view, longest[depth].item, column));
    }
    return width;
}

void fitColumns(QTreeWidget *view)
{
    QHeaderView *header = view->header();
    for (int column = 0; column < view->columnCount(); ++column) {
        const int needed = std::max(contentWidth(view, column), header->isHidden() ? 0 : header->sectionSizeHint(column));
        view->setColumnWidth(column, needed);
    }
}

QSize wholeSize(const QTreeWidget *view, QSize most)
{
    const QHeaderView *header = view->header();
    int columns = 0;
    for (int column = 0; column < view->columnCount(); ++column)
        columns += std::max(contentWidth(view, column), header->isHidden() ? 0 : header->sectionSizeHint(column));
    const int frame = 2 * view->frameWidth();
    const int headerHeight = header->isHidden() ? 0 : header->sizeHint().height();
    int rows = view->topLevelItemCount();
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *top = view->topLevelItem(i);
        rows += top->isExpanded() ? top->childCount() : 0;
    }
    const int rowsHeight = rows * std::max(view->sizeHintForRow(0), view->fontMetrics().height());
    QSize size(columns + frame, rowsHeight + headerHeight + frame);
    const int bar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    if (size.height() > most.height())
        size.rwidth() += bar;
    if (size.width() > most.width())
        size.rheight() += bar;
    return size.boundedTo(most);
}

} // namespace Lanyard::ColumnFit

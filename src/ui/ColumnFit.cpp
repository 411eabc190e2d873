// SPDX-License-Identifier: MIT
#include "ColumnFit.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

#include <array>
#include <vector>

namespace Lanyard::ColumnFit {

namespace {

struct Longest
{
    const QTreeWidgetItem *item = nullptr;
    int advance = -1;
};

/// Text widths for finding the longest of many texts quickly: a Latin-1 text is the sum of its
/// characters' advances, each measured once (kerning only narrows it), any other is shaped whole.
class Widths
{
public:
    explicit Widths(const QFont &font)
        : m_metrics(font)
    {
        m_latin1.fill(-1);
    }

    int of(const QString &text)
    {
        int width = 0;
        for (const QChar c : text) {
            if (c.unicode() >= m_latin1.size())
                return m_metrics.horizontalAdvance(text);
            int &advance = m_latin1[c.unicode()];
            if (advance < 0)
                advance = m_metrics.horizontalAdvance(c);
            width += advance;
        }
        return width;
    }
    int exact(const QString &text) const { return m_metrics.horizontalAdvance(text); }

private:
    QFontMetrics m_metrics;
    std::array<int, 256> m_latin1;
};

/// The item of the longest text at each depth below @p parent.
void collectLongest(const QTreeWidgetItem *parent, int column, Widths &widths, size_t depth,
                    std::vector<Longest> &longest)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem *item = parent->child(i);
        if (longest.size() <= depth)
            longest.resize(depth + 1);
        const int advance = widths.of(item->text(column));
        if (advance > longest[depth].advance)
            longest[depth] = {item, advance};
        if (item->childCount() > 0)
            collectLongest(item, column, widths, depth + 1, longest);
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
    Widths widths(view->font());
    collectLongest(view->invisibleRootItem(), column, widths, 0, longest);
    int width = 0;
    const int firstIndent = view->rootIsDecorated() ? 1 : 0;
    for (size_t depth = 0; depth < longest.size(); ++depth) {
        const Longest &found = longest[depth];
        if (!found.item)
            continue;
        const int indent = column == 0 ? view->indentation() * (static_cast<int>(depth) + firstIndent) : 0;
        // The summed advances may exceed the shaped text: the room is the larger of both.
        const int slack = std::max(0, found.advance - widths.exact(found.item->text(column)));
        width = std::max(width, indent + drawnWidth(view, found.item, column) + slack);
    }
    return width;
}

void fitColumns(QTreeWidget *view)
{
    QHeaderView *header = view->header();
    for (int column = 0; column < view->columnCount(); ++column) {
        const int needed = std::max(contentWidth(view, column),
                                    header->isHidden() ? 0 : header->sectionSizeHint(column));
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

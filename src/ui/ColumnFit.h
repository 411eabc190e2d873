// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>

class QTreeWidget;

/// Sizes a tree or list view to the texts of its items, so that they open whole.
namespace Lanyard::ColumnFit {

/**
 * The width column @p column of @p view needs to show every item whole at the view's font,
 * indentation and images counted. Only the longest text at each depth is measured the way the
 * view draws it, so a view of many items is measured quickly.
 */
int contentWidth(const QTreeWidget *view, int column);

/// Sets every column of @p view to what its header and items need.
void fitColumns(QTreeWidget *view);

/**
 * The size of @p view that shows every column whole and every row without scrolling, at most
 * @p most: with more rows than fit the vertical scroll bar is counted in.
 */
QSize wholeSize(const QTreeWidget *view, QSize most);

} // namespace Lanyard::ColumnFit

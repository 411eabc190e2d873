// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QTreeWidget;
class QTreeWidgetItem;

namespace Lanyard {

/**
 * What screen readers hear from a tree: its current row when the tree takes the focus or
 * the row changes under the focus, a group's opening and closing, and nothing while the
 * focus is elsewhere. Owned by the tree.
 */
class TreeAnnouncer : public QObject
{
    Q_OBJECT

public:
    explicit TreeAnnouncer(QTreeWidget *tree);

    /// Makes @p item current and selects it; announced only while the tree has the focus.
    void setCurrent(QTreeWidgetItem *item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void announceCurrent();
    void announceOpenOrClosed(QTreeWidgetItem *group);

    QTreeWidget *m_tree;
};

} // namespace Lanyard

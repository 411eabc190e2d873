// SPDX-License-Identifier: MIT
#include "TreeAnnouncer.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEvent>
#include <QItemSelectionModel>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

/// The accessible cell of @p item's row: its place among the rows shown, counted as the
/// tree's accessible table counts them.
QAccessibleInterface *cellOf(QTreeWidget *tree, QTreeWidgetItem *item)
{
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(tree);
    QAccessibleTableInterface *table = view ? view->tableInterface() : nullptr;
    if (!table || !item)
        return nullptr;
    int row = 0;
    for (const QTreeWidgetItem *above = tree->itemAbove(item); above; above = tree->itemAbove(above))
        ++row;
    return table->cellAt(row, 0);
}

} // namespace

TreeAnnouncer::TreeAnnouncer(QTreeWidget *tree)
    : QObject(tree)
    , m_tree(tree)
{
    tree->installEventFilter(this);
    tree->window()->installEventFilter(this);
    connect(tree, &QTreeWidget::itemExpanded, this, &TreeAnnouncer::announceOpenOrClosed);
    connect(tree, &QTreeWidget::itemCollapsed, this, &TreeAnnouncer::announceOpenOrClosed);
}

void TreeAnnouncer::setCurrent(QTreeWidgetItem *item)
{
    // The view tells screen readers of every new current row as a focus event, focus or not:
    // a reader would name a row while the keyboard is on a button. While the focus is
    // elsewhere the view does not hear of the change (the tree's own bookkeeping does); the
    // rows are drawn anew.
    QItemSelectionModel *selection = m_tree->selectionModel();
    const char *changed = SIGNAL(currentChanged(QModelIndex, QModelIndex));
    const char *viewSlot = SLOT(currentChanged(QModelIndex, QModelIndex));
    const bool quiet = !m_tree->hasFocus() && disconnect(selection, changed, m_tree, viewSlot);
    m_tree->setCurrentItem(item);
    if (!quiet)
        return;
    connect(selection, changed, m_tree, viewSlot);
    m_tree->viewport()->update();
}

bool TreeAnnouncer::eventFilter(QObject *watched, QEvent *event)
{
    // The widget's own focus event names only the tree; the row follows it, once the focus
    // has settled there.
    // A tree that has the focus as its window opens is told again once the window is active:
    // readers drop what a window says before it is.
    const bool focusIn = watched == m_tree && event->type() == QEvent::FocusIn;
    const bool activated = watched == m_tree->window() && event->type() == QEvent::WindowActivate;
    if (focusIn || activated)
        QMetaObject::invokeMethod(this, &TreeAnnouncer::announceCurrent, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void TreeAnnouncer::announceCurrent()
{
    if (!QAccessible::isActive() || !m_tree->hasFocus())
        return;
    if (QAccessibleInterface *cell = cellOf(m_tree, m_tree->currentItem())) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void TreeAnnouncer::announceOpenOrClosed(QTreeWidgetItem *group)
{
    // The view says nothing when a group opens or closes, and Qt's bridge to the accessibility
    // bus passes on only a few state changes (checked, active, enabled, focused): the change
    // goes out on the bridge's own connection, as the bridge sends its events, so that the
    // reader ties it to the row it knows.
    QDBusConnection bus(u"a11y"_s);
    if (!QAccessible::isActive() || !bus.isConnected())
        return;
    QAccessibleInterface *cell = cellOf(m_tree, group);
    if (!cell)
        return;
    const QString objects = u"/org/a11y/atspi/accessible/"_s;
    QDBusMessage change = QDBusMessage::createSignal(objects + QString::number(QAccessible::uniqueId(cell)),
                                                     u"org.a11y.atspi.Event.Object"_s, u"StateChanged"_s);
    QDBusArgument application;
    application.beginStructure();
    application << bus.baseService() << QDBusObjectPath(objects + u"root"_s);
    application.endStructure();
    change << u"expanded"_s << int(group->isExpanded()) << 0 << QVariant::fromValue(QDBusVariant(0))
           << QVariant::fromValue(application);
    bus.send(change);
}

} // namespace Lanyard

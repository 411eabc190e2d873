#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace UiTest {

/// Runs @p action on the modal window named @p objectName as soon as it is shown; arm it
/// before the call that shows the window and blocks. Gives up silently after five seconds.
inline void whenModalShown(const QString &objectName, std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool found = modal && modal->isVisible() && modal->objectName() == objectName;
        if (!found && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (found)
            action(modal);
    });
    timer->start();
}

/// A user's double click: the click that precedes it, the double click, the release.
inline void doubleClick(QWidget *widget, QPoint pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

inline QPoint centerOf(QTreeWidgetItem *item) { return item->treeWidget()->visualItemRect(item).center(); }

inline void clickItem(QTreeWidgetItem *item)
{
    QTest::mouseClick(item->treeWidget()->viewport(), Qt::LeftButton, {}, centerOf(item));
}

template<typename T = QWidget>
T *child(QWidget *window, const QString &name)
{
    return window ? window->findChild<T *>(name) : nullptr;
}

} // namespace UiTest

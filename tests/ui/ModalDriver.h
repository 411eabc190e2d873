#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace UiTest {

/// Runs @p action on the modal window named @p objectName as soon as it is shown; arm it
/// before the call that shows the window and blocks. Gives up silently after @p timeoutMs.
inline void whenModalShown(const QString &objectName, std::function<void(QWidget *)> action, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    const QDeadlineTimer deadline(timeoutMs);
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

template<typename T>
T *child(QWidget *window, const QString &name)
{
    return window ? window->findChild<T *>(name) : nullptr;
}

} // namespace UiTest

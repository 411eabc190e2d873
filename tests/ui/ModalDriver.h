// SPDX-License-Identifier: MIT
#pragma once

// A user at the keyboard and mouse, for windows that block in exec() while the user acts.

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace UiTest {

/**
 * Runs @p action on the modal window named @p objectName as soon as it is shown and active;
 * arm it before the call that shows the window and blocks. The action must leave the window.
 * When no such window shows within 20 seconds, or it is still open 20 seconds after the action,
 * the test fails and the modal window is closed, so that the blocked call returns. The bound
 * only ends a test that went wrong: a sanitizer build on a busy machine can take seconds to
 * show a file dialog.
 */
inline constexpr int modalPatienceMs = 20000;

inline void whenModalShown(const QString &objectName, std::function<void(QWidget *)> action)
{
    // Owned by the application, so that a timer still watching when the last test ends goes too.
    auto *timer = new QTimer(QCoreApplication::instance());
    timer->setObjectName(QStringLiteral("modal driver for ") + objectName);
    timer->setInterval(5);
    auto deadline = std::make_shared<QDeadlineTimer>(modalPatienceMs);
    auto shown = std::make_shared<QPointer<QWidget>>();
    auto acted = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        const auto stop = [timer] {
            timer->stop();
            timer->deleteLater();
        };
        // On a failure the window is closed, so that the call blocked in it returns.
        const auto fail = [&](const QString &message, QWidget *window) {
            stop();
            QTest::qFail(qPrintable(message), __FILE__, __LINE__);
            if (window)
                window->close();
        };
        if (*acted) { // the window must go now
            if (shown->isNull() || !(*shown)->isVisible())
                stop();
            else if (deadline->hasExpired())
                fail(QStringLiteral("modal window %1 still open 20 s after the test's steps").arg(objectName), *shown);
            return;
        }
        QWidget *modal = QApplication::activeModalWidget();
        const bool found = modal && modal->isVisible() && modal->objectName() == objectName;
        if (found && QApplication::activeWindow() == modal) {
            *shown = modal;
            *acted = true;
            timer->stop(); // the action may wait in windows it opens
            action(modal);
            // Stop at once when it left the window: the caller may show the same window again.
            if (shown->isNull() || !(*shown)->isVisible())
                return timer->deleteLater();
            *deadline = QDeadlineTimer(modalPatienceMs);
            timer->start();
        } else if (deadline->hasExpired()) {
            fail(QStringLiteral("modal window %1 did not show within 20 s (open: %2)")
                     .arg(objectName, modal ? modal->objectName() : QStringLiteral("none")),
                 modal);
        } else if (found) {
            // The window manager's part: the offscreen platform can give the window the focus
            // before it is visible, and then never makes it the active window.
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            QApplication::setActiveWindow(modal);
            QT_WARNING_POP
        }
    });
    timer->start();
}

/// Ends the drivers still waiting, whose actions refer to a test that has ended; the names of
/// the windows they waited for, which never showed.
inline QStringList disarmAll()
{
    QStringList waiting;
    for (QTimer *timer : QCoreApplication::instance()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly)) {
        if (timer->objectName().startsWith(u"modal driver for ")) {
            if (timer->isActive())
                waiting << timer->objectName();
            delete timer;
        }
    }
    return waiting;
}

/// The program list window while it is shown, or null.
inline QWidget *programListWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"frmEditApps" && widget->isVisible())
            return widget;
    }
    return nullptr;
}

/// The widget that has the keyboard focus (the test fails when none has within two seconds).
inline QWidget *focused()
{
    if (!QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000))
        QTest::qFail("no widget has the keyboard focus", __FILE__, __LINE__);
    return QApplication::focusWidget();
}

inline QString focusName() { return focused() ? focused()->objectName() : QStringLiteral("none"); }

/// Keys pressed and text typed by the user go to the widget that has the focus.
inline void press(QKeySequence keys)
{
    if (QWidget *focus = focused())
        QTest::keySequence(focus, keys);
}
inline void type(const QString &text)
{
    if (QWidget *focus = focused())
        QTest::keyClicks(focus, text);
}

/// Gives the focus to @p widget as a click would, in its window made active.
inline void focusOn(QWidget *widget)
{
    widget->window()->activateWindow();
    widget->setFocus(Qt::MouseFocusReason);
    QVERIFY(QTest::qWaitFor([widget] { return widget->hasFocus(); }, 2000));
}

/// The item with the text @p text in @p tree; the test fails without one.
inline QTreeWidgetItem *itemOf(QTreeWidget *tree, const QString &text)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("no item %1").arg(text)), __FILE__, __LINE__);
    return found.value(0);
}

inline QPoint centerOf(QTreeWidgetItem *item) { return item->treeWidget()->visualItemRect(item).center(); }

inline void doubleClick(QWidget *widget, QPoint pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

inline void clickItem(QTreeWidgetItem *item)
{
    QTest::mouseClick(item->treeWidget()->viewport(), Qt::LeftButton, {}, centerOf(item));
}

/// Makes @p window active again, as the window manager does when a box over it closes.
inline void backTo(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

/// The modal windows that opened while @p action ran, each closed as soon as it showed.
inline QStringList modalsDuring(const std::function<void()> &action)
{
    QStringList opened;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            opened << modal->objectName();
            modal->close();
        }
    });
    watch.start();
    action();
    return opened;
}

/// Opens or closes the top-level node @p group with the arrow at its left, as the mouse does.
inline void clickArrowOf(QTreeWidgetItem *group)
{
    QTreeWidget *view = group->treeWidget();
    const QRect row = view->visualItemRect(group);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(view->indentation() / 2, row.center().y()));
}

/// A point of @p view's viewport below its last row.
inline QPoint belowTheRows(QTreeWidget *view)
{
    const QPoint point(view->viewport()->width() / 2, view->viewport()->height() - 4);
    if (view->itemAt(point))
        QTest::qFail("the view has no room below its rows", __FILE__, __LINE__);
    return point;
}

/**
 * Plays a user's steps on @p window, stopping when it hides: "focus:NAME" gives the control
 * NAME the focus as a click would, "click:NAME" clicks it, "key:SEQUENCE" and "type:TEXT" go to
 * the focused widget, "clip:TEXT" puts TEXT ("\\n" for a line break) on the clipboard, "close"
 * uses the close box.
 */
inline void play(QWidget *window, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QString argument = step.section(u':', 1);
        const auto control = [&] {
            auto *widget = window->findChild<QWidget *>(argument);
            if (!widget)
                QTest::qFail(qPrintable(QStringLiteral("no control %1").arg(argument)), __FILE__, __LINE__);
            return widget;
        };
        if (step.startsWith(u"focus:"))
            focusOn(control());
        else if (step.startsWith(u"click:"))
            QTest::mouseClick(control(), Qt::LeftButton);
        else if (step.startsWith(u"key:"))
            press(QKeySequence(argument));
        else if (step.startsWith(u"type:"))
            type(argument);
        else if (step.startsWith(u"clip:"))
            QApplication::clipboard()->setText(QString(argument).replace(QStringLiteral("\\n"), QStringLiteral("\n")));
        else if (step == u"close")
            window->close();
        else
            QTest::qFail(qPrintable(QStringLiteral("unknown step %1").arg(step)), __FILE__, __LINE__);
        if (!window->isVisible())
            return;
    }
}

} // namespace UiTest

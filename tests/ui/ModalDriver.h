// SPDX-License-Identifier: MIT
#pragma once

// A user at the keyboard and mouse, for windows that block in exec() while the user acts.

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace UiTest {

/// How long a modal window may take to show, or stay open after the test's steps: the bound only ends a test
/// that went wrong, as a sanitizer build on a busy machine can take seconds to show a file dialog.
inline constexpr int modalPatienceMs = 20000;

/// The modal window in front once it is active. The offscreen platform can give a window the focus before it
/// is visible and then never make it active: it is made active here, as a window manager would.
inline QWidget *activeModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || QApplication::activeWindow() == modal)
        return modal && modal->isVisible() ? modal : nullptr;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(modal);
    QT_WARNING_POP
    return nullptr;
}

/// Closes @p window, so that the call blocked in it returns, when it is still open modalPatienceMs from now.
inline void closeLater(QWidget *window)
{
    QTimer::singleShot(modalPatienceMs, window, [window] {
        if (!window->isVisible())
            return;
        QTest::qFail(qPrintable(window->objectName() + " is still open after the test's steps"), __FILE__, __LINE__);
        window->close();
    });
}

/// Runs @p action on the modal window named @p objectName as soon as it is shown and active; arm it before the
/// call that shows the window and blocks. The action must leave the window. A window that does not show within
/// modalPatienceMs, or stays that long after the action, fails the test and is closed.
inline void whenModalShown(const QString &objectName, std::function<void(QWidget *)> action)
{
    // Owned by the application, so that a timer still watching when the last test ends goes too.
    auto *timer = new QTimer(QCoreApplication::instance());
    timer->setObjectName(QStringLiteral("modal driver for ") + objectName);
    const QDeadlineTimer deadline(modalPatienceMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = activeModal();
        const bool found = modal && modal->objectName() == objectName;
        if (!found && !deadline.hasExpired())
            return;
        timer->stop(); // the action may wait in windows it opens
        timer->deleteLater();
        if (!found) {
            QTest::qFail(qPrintable(objectName + " did not show"), __FILE__, __LINE__);
            if ((modal = QApplication::activeModalWidget()))
                modal->close();
            return;
        }
        const QPointer<QWidget> shown = modal;
        action(modal);
        if (shown && shown->isVisible())
            closeLater(shown);
    });
    timer->start(5);
}

/// Ends the drivers still waiting; the names of the windows they waited for, which never showed.
inline QStringList disarmAll()
{
    QStringList waiting;
    for (QTimer *timer : QCoreApplication::instance()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly)) {
        if (!timer->objectName().startsWith(u"modal driver for "))
            continue;
        if (timer->isActive())
            waiting << timer->objectName();
        delete timer;
    }
    return waiting;
}

/// Runs @p action while a user answers the modal windows it opens; what showed, in order. A message box gives
/// "NAME: TEXT" and is answered with Return; a window named in @p handlers gives NAME and goes to its handler,
/// which must leave it; any other gives NAME and is closed at once.
inline QStringList messagesDuring(const std::function<void()> &action,
                                  const QHash<QString, std::function<void(QWidget *)>> &handlers = {})
{
    QStringList shown;
    QList<QPointer<QWidget>> handled;
    QPointer<QWidget> owner;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        handled.removeIf([](const QPointer<QWidget> &window) { return !window || !window->isVisible(); });
        QWidget *modal = activeModal();
        // The window manager's part: a box gone, its owner is active again.
        if (!QApplication::activeModalWidget() && owner && !QApplication::activeWindow())
            owner->activateWindow();
        if (!modal || handled.contains(modal))
            return;
        const auto *box = qobject_cast<QMessageBox *>(modal);
        shown << modal->objectName() + (box ? QStringLiteral(": ") + box->text() : QString());
        handled << modal;
        if (box) {
            owner = box->parentWidget() ? box->parentWidget()->window() : nullptr;
            QTest::keyClick(modal, Qt::Key_Return);
        } else if (const auto handler = handlers.value(modal->objectName())) {
            // Not from this slot: a timer does not fire again while its slot runs, and the handler may wait.
            QTimer::singleShot(0, modal, [handler, window = QPointer<QWidget>(modal)] {
                handler(window);
                if (window && window->isVisible())
                    closeLater(window);
            });
        } else {
            modal->close();
        }
    });
    watch.start(5);
    action();
    return shown;
}

/// The names of the modal windows that opened while @p action ran, each closed as soon as it showed.
inline QStringList modalsDuring(const std::function<void()> &action)
{
    QStringList shown = messagesDuring(action);
    for (QString &name : shown)
        name = name.section(u':', 0, 0);
    return shown;
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

/// Presses Tab until the focus is on @p name; the names passed on the way, @p name last.
inline QStringList tabTo(const QString &name)
{
    QStringList passed;
    for (int i = 0; i < 12 && passed.value(passed.size() - 1) != name; ++i) {
        press(Qt::Key_Tab);
        passed << focusName();
    }
    return passed;
}

/// Gives the focus to @p widget as a click would, in its window made active.
inline void focusOn(QWidget *widget)
{
    widget->window()->activateWindow();
    widget->setFocus(Qt::MouseFocusReason);
    QVERIFY(QTest::qWaitFor([widget] { return widget->hasFocus(); }, 2000));
}

/// Makes @p window active again, as the window manager does when a box over it closes.
inline void backTo(QWidget *window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
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

/// Opens or closes the top-level node @p group with the arrow at its left, as the mouse does.
inline void clickArrowOf(QTreeWidgetItem *group)
{
    QTreeWidget *view = group->treeWidget();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      {view->indentation() / 2, view->visualItemRect(group).center().y()});
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
 * Plays a user's steps on @p window, stopping when it hides: "focus:NAME" gives the control NAME the focus as a
 * click would, "click:NAME" and "dclick:NAME" click and double click it, "key:SEQUENCE" and "type:TEXT" go to
 * the focused widget, "clip:TEXT" puts TEXT ("\\n" for a line break) on the clipboard, "close" uses the close box.
 */
inline void play(QWidget *window, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QString how = step.section(u':', 0, 0), argument = step.section(u':', 1);
        auto *control = argument == window->objectName() ? window : window->findChild<QWidget *>(argument);
        if (how == u"focus" || how == u"click" || how == u"dclick")
            QVERIFY2(control, qPrintable(step));
        if (how == u"focus")
            focusOn(control);
        else if (how == u"click")
            QTest::mouseClick(control, Qt::LeftButton);
        else if (how == u"dclick")
            doubleClick(control, control->rect().center());
        else if (how == u"key")
            press(QKeySequence(argument));
        else if (how == u"type")
            type(argument);
        else if (how == u"clip")
            QApplication::clipboard()->setText(QString(argument).replace(QStringLiteral("\\n"), QStringLiteral("\n")));
        else if (how == u"close")
            window->close();
        else
            QFAIL(qPrintable(step));
        if (!window->isVisible())
            return;
    }
}

} // namespace UiTest

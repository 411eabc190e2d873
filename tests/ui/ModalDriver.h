// SPDX-License-Identifier: MIT
#pragma once

// A user at the keyboard and mouse, for windows that block in exec() while the user acts.

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
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
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    if (modal && modal->isVisible() && QApplication::activeWindow() != modal)
        QApplication::setActiveWindow(modal);
    QT_WARNING_POP
    return modal && modal->isVisible() && QApplication::activeWindow() == modal ? modal : nullptr;
}

/// Closes @p window, failing the test, when it is still open modalPatienceMs from now: the call blocked in it returns.
inline void closeLater(QWidget *window)
{
    QTimer::singleShot(modalPatienceMs, window, [window] {
        if (window->isVisible() && (QTest::qFail("a modal window stayed open", __FILE__, __LINE__), true))
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
            return void(QApplication::activeModalWidget() && QApplication::activeModalWidget()->close());
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
        if (timer->objectName().startsWith(u"modal driver for ")) {
            waiting << (timer->isActive() ? timer->objectName() : QString());
            delete timer;
        }
    }
    waiting.removeAll(QString());
    return waiting;
}

/// Runs @p action while a user answers the modal windows it opens; what showed, in order. A message box gives
/// "NAME: TEXT" and is answered with Return, its owner active again after it; a window named in @p handlers gives
/// NAME and goes to its handler, which must leave it; any other gives NAME and is closed at once.
inline QStringList messagesDuring(const std::function<void()> &action,
                                  const QHash<QString, std::function<void(QWidget *)>> &handlers = {})
{
    QStringList shown;
    QList<QPointer<QWidget>> handled;
    QPointer<QWidget> owner;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        handled.removeIf([](const QPointer<QWidget> &window) { return !window || !window->isVisible(); });
        if (!QApplication::activeModalWidget() && owner && !QApplication::activeWindow())
            owner->activateWindow();
        QWidget *modal = activeModal();
        if (!modal || handled.contains(modal))
            return;
        const auto *box = qobject_cast<QMessageBox *>(modal);
        shown << modal->objectName() + (box ? QStringLiteral(": ") + box->text() : QString());
        handled << modal;
        owner = box && box->parentWidget() ? box->parentWidget()->window() : owner.data();
        if (box)
            QTest::keyClick(modal, Qt::Key_Return);
        else if (!handlers.contains(modal->objectName()))
            modal->close();
        else // not from this slot: a timer does not fire again while its slot runs, and the handler may wait
            QTimer::singleShot(0, modal, [handler = handlers.value(modal->objectName()), modal = QPointer(modal)] {
                handler(modal);
                modal ? closeLater(modal) : void();
            });
    });
    watch.start(5);
    action();
    return shown;
}

/// The names of the modal windows that opened while @p action ran, each closed as soon as it showed.
inline QStringList modalsDuring(const std::function<void()> &action)
{
    return messagesDuring(action).replaceInStrings(QRegularExpression(QStringLiteral(":.*")), QString());
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
    while (passed.size() < 12 && passed.value(passed.size() - 1) != name)
        press(Qt::Key_Tab), passed << focusName();
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
inline void clickItem(QTreeWidgetItem *item)
{
    QTest::mouseClick(item->treeWidget()->viewport(), Qt::LeftButton, {}, centerOf(item));
}
inline void doubleClick(QWidget *widget, QPoint pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

/**
 * Plays a user's steps on @p window, stopping when it hides: "focus:NAME" gives the control NAME the focus as a
 * click would, "click:NAME" and "dclick:NAME" click and double click it, "key:SEQUENCE" and "type:TEXT" go to the
 * focused widget, "clip:TEXT" puts TEXT ("\\n" for a line break) on the clipboard, "close" uses the close box. In
 * the tree NAME, "click:NAME/ROW", "ctrl:NAME/ROW", "arrow:NAME/ROW" and "dclick:NAME/ROW" click the row with the
 * text ROW, with Ctrl, on the arrow at the left of its group and twice; "dclick:NAME/" double clicks below the rows.
 */
inline void play(QWidget *window, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QString how = step.section(u':', 0, 0), name = step.section(u':', 1).section(u'/', 0, 0);
        QWidget *control = name == window->objectName() ? window : window->findChild<QWidget *>(name);
        const bool mouse = QStringList{"click", "ctrl", "arrow", "dclick"}.contains(how);
        if (auto *tree = qobject_cast<QTreeWidget *>(control); tree && mouse && step.contains(u'/')) {
            const QString row = step.section(u'/', 1);
            QTreeWidgetItem *item = row.isEmpty() ? nullptr : itemOf(tree, row);
            QTreeWidgetItem *group = item && item->parent() ? item->parent() : item;
            QPoint at = item ? centerOf(item) : QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 4);
            QVERIFY2(item || !tree->itemAt(at), "the tree has no room below its rows");
            at = how == u"arrow" ? QPoint(tree->indentation() / 2, centerOf(group).y()) : at;
            if (how == u"dclick")
                doubleClick(tree->viewport(), at);
            else
                QTest::mouseClick(tree->viewport(), Qt::LeftButton,
                                  how == u"ctrl" ? Qt::ControlModifier : Qt::NoModifier, at);
        } else if (how == u"focus" || mouse) {
            QVERIFY2(control, qPrintable(step));
            how == u"focus"   ? focusOn(control)
            : how == u"click" ? QTest::mouseClick(control, Qt::LeftButton)
                              : doubleClick(control, control->rect().center());
        } else if (how == u"key" || how == u"type") {
            how == u"key" ? press(QKeySequence(step.mid(4))) : type(step.mid(5));
        } else if (how == u"clip") {
            QApplication::clipboard()->setText(step.mid(5).replace(QStringLiteral("\\n"), QStringLiteral("\n")));
        } else {
            QVERIFY2(step == u"close" && window->close(), qPrintable(step));
        }
        if (!window->isVisible())
            return;
    }
}

} // namespace UiTest

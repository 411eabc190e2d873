// SPDX-License-Identifier: MIT
#pragma once
// A user at the keyboard and mouse, for windows that block in exec() while the user acts.
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace UiTest {

// A sanitizer build on a busy machine is slow.
inline constexpr int modalPatienceMs = 20000;

/// The offscreen platform may never activate a modal window: it is made active.
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

inline void closeLater(QWidget *window)
{
    QTimer::singleShot(modalPatienceMs, window, [window] {
        window->isVisible() ? QTest::qFail("a modal window stayed open", __FILE__, __LINE__), window->close() : false;
    });
}

/// Runs @p action, which must leave it, on the modal window @p objectName; one that does not show, or stays, fails.
inline void whenModalShown(const QString &objectName, std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer(QCoreApplication::instance()); // so that one still waiting at the end goes too
    timer->setObjectName(QStringLiteral("modal driver for ") + objectName);
    const QDeadlineTimer deadline(modalPatienceMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = activeModal();
        const bool found = modal && modal->objectName() == objectName;
        if (!found && !deadline.hasExpired())
            return;
        timer->stop(), timer->deleteLater(); // the action may wait in windows it opens
        if (!found) {
            QTest::qFail(qPrintable(objectName + " did not show"), __FILE__, __LINE__);
            return void(QApplication::activeModalWidget() && QApplication::activeModalWidget()->close());
        }
        const QPointer<QWidget> shown = modal;
        action(modal);
        shown && shown->isVisible() ? closeLater(shown) : void();
    });
    timer->start(5);
}

inline QStringList disarmAll()
{
    QStringList waiting;
    for (QTimer *timer : QCoreApplication::instance()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly))
        if (timer->objectName().startsWith(u"modal driver for "))
            timer->isActive() ? void(waiting << timer->objectName()) : void(), delete timer;
    return waiting;
}

/// The modal windows @p action opens: a message box ("NAME: TEXT") gets Return, others their handler or closed.
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
        if (box || !handlers.contains(modal->objectName()))
            box ? QTest::keyClick(modal, Qt::Key_Return) : void(modal->close());
        else // from a fresh call: the handler may wait, and a timer does not fire while its slot runs
            QTimer::singleShot(0, modal, [handler = handlers.value(modal->objectName()), modal = QPointer(modal)] {
                handler(modal);
                modal ? closeLater(modal) : void();
            });
    });
    watch.start(5), action();
    return shown;
}

inline QWidget *programListWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == u"frmEditApps" && widget->isVisible())
            return widget;
    return nullptr;
}

inline QWidget *focused()
{
    if (!QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000))
        QTest::qFail("no widget has the keyboard focus", __FILE__, __LINE__);
    return QApplication::focusWidget();
}
inline QString focusName() { return focused() ? focused()->objectName() : QStringLiteral("none"); }
inline void press(QKeySequence keys) { focused() ? QTest::keySequence(focused(), keys) : void(); }
inline void type(const QString &text) { focused() ? QTest::keyClicks(focused(), text) : void(); }

/// The names Tab passes on the way to @p name, @p name last.
inline QStringList tabTo(const QString &name)
{
    QStringList passed;
    while (passed.size() < 12 && passed.value(passed.size() - 1) != name)
        press(Qt::Key_Tab), passed << focusName();
    return passed;
}

inline void focusOn(QWidget *widget)
{
    widget->window()->activateWindow(), widget->setFocus(Qt::MouseFocusReason);
    QVERIFY(QTest::qWaitFor([widget] { return widget->hasFocus(); }, 2000));
}

/// As a window manager does when a box over @p window closes.
inline void backTo(QWidget *window) { QVERIFY((window->activateWindow(), QTest::qWaitForWindowActive(window))); }

inline QTreeWidgetItem *itemOf(QTreeWidget *tree, const QString &text)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    found.isEmpty() ? QTest::qFail(qPrintable(QStringLiteral("no item ") + text), __FILE__, __LINE__) : void();
    return found.value(0);
}
inline QPoint centerOf(QTreeWidgetItem *item) { return item->treeWidget()->visualItemRect(item).center(); }
inline void clickItem(QTreeWidgetItem *item)
{
    QTest::mouseClick(item->treeWidget()->viewport(), Qt::LeftButton, {}, centerOf(item));
}

/// Steps until @p window hides: focus|click|dclick|ctrl|arrow:NAME[/ROW] ("/" below the rows), key|type|clip:TEXT.
inline void play(QWidget *window, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QString how = step.section(u':', 0, 0), name = step.section(u':', 1).section(u'/', 0, 0);
        QWidget *control = name == window->objectName() ? window : window->findChild<QWidget *>(name);
        const bool mouse = QStringList{"click", "ctrl", "arrow", "dclick"}.contains(how);
        auto *tree = qobject_cast<QTreeWidget *>(control);
        QPoint at = control ? control->rect().center() : QPoint();
        if (tree && mouse && step.contains(u'/')) {
            const QString row = step.section(u'/', 1);
            QTreeWidgetItem *item = row.isEmpty() ? nullptr : itemOf(tree, row);
            QTreeWidgetItem *group = item && item->parent() ? item->parent() : item;
            at = item ? centerOf(item) : QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 4);
            QVERIFY2(item || !tree->itemAt(at), "the tree has no room below its rows");
            at = how == u"arrow" ? QPoint(tree->indentation() / 2, centerOf(group).y()) : at;
            control = tree->viewport();
        }
        if (how == u"focus" || mouse)
            QVERIFY2(control, qPrintable(step));
        if (how == u"focus") {
            focusOn(control);
        } else if (mouse) {
            QTest::mouseClick(control, Qt::LeftButton, how == u"ctrl" ? Qt::ControlModifier : Qt::NoModifier, at);
            if (how == u"dclick")
                QTest::mouseDClick(control, Qt::LeftButton, {}, at),
                    QTest::mouseRelease(control, Qt::LeftButton, {}, at);
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

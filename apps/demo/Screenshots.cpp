// SPDX-License-Identifier: MIT
#include "Screenshots.h"

#include "DemoWindow.h"
#include "TextView.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace Screenshots {

namespace {

void settle(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

/// Puts the cursor on a word in the middle of the sample, as a user would before picking a tool.
void placeCursor(TextView *view)
{
    QTextCursor cursor = view->document()->find(u"lanyard"_s, 0, QTextDocument::FindCaseSensitively);
    if (cursor.isNull())
        return;
    cursor.setPosition(cursor.selectionStart() + 3);
    view->setTextCursor(cursor);
}

/// A soft shadow below and right of a popup, as a compositor would draw it.
void drawShadow(QPainter &painter, const QRect &rect)
{
    for (int i = 1; i <= 6; ++i) {
        painter.fillRect(rect.translated(i / 2 + 1, i), QColor(0, 0, 0, 10));
    }
}

/// The window with every open popup painted over it at its place on the screen.
QImage composite(QWidget *window, const QList<QWidget *> &popups, bool dimWindow = false)
{
    QRect canvas = window->geometry();
    for (QWidget *popup : popups)
        canvas |= popup->geometry().adjusted(0, 0, 8, 8);
    const qreal ratio = window->devicePixelRatioF();
    QImage image((canvas.size() * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawPixmap(window->geometry().topLeft() - canvas.topLeft(), window->grab());
    if (dimWindow)
        painter.fillRect(window->geometry().translated(-canvas.topLeft()), QColor(0, 0, 0, 60));
    for (QWidget *popup : popups) {
        const QRect place = popup->geometry().translated(-canvas.topLeft());
        drawShadow(painter, place);
        painter.drawPixmap(place.topLeft(), popup->grab());
    }
    return image;
}

QAction *toolAction(DemoWindow &window, const QString &name)
{
    for (QAction *group : window.toolsMenuWidget()->actions()) {
        if (!group->menu())
            continue;
        for (QAction *entry : group->menu()->actions()) {
            if (entry->text() == name)
                return entry;
        }
    }
    return nullptr;
}

/// Starts the sample's harmless entry (a sorted copy beside the sample), so the log has a story.
void launchSortedCopy(DemoWindow &window)
{
    if (QAction *entry = toolAction(window, u"Save a sorted copy"_s))
        entry->trigger();
}

/// Picks a tool and waits (at most five seconds) until its run has ended.
bool runTool(DemoWindow &window, const QString &name)
{
    QAction *entry = toolAction(window, name);
    if (!entry)
        return false;
    bool ended = false;
    const auto done = [&ended] { ended = true; };
    const QMetaObject::Connection finished = QObject::connect(window.toolsMenu(), &Lanyard::ToolsMenu::runFinished,
                                                              done);
    const QMetaObject::Connection failed = QObject::connect(window.toolsMenu(), &Lanyard::ToolsMenu::runFailed, done);
    entry->trigger();
    const QDeadlineTimer deadline(5000);
    while (!ended && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QObject::disconnect(finished);
    QObject::disconnect(failed);
    return ended;
}

QString captureMain(DemoWindow &window, const QString &folder)
{
    QMenu *tools = window.toolsMenuWidget();
    window.menuBar()->setActiveAction(tools->menuAction());
    settle(200);
    QList<QWidget *> popups{tools};
    const QList<QAction *> actions = tools->actions();
    const auto group = std::find_if(actions.cbegin(), actions.cend(), [](QAction *a) { return a->menu(); });
    if (group != actions.cend()) {
        tools->setActiveAction(*group);
        QMenu *submenu = (*group)->menu();
        submenu->popup(tools->mapToGlobal(tools->actionGeometry(*group).topRight() + QPoint(-2, -4)));
        settle(200);
        if (!submenu->actions().isEmpty())
            submenu->setActiveAction(submenu->actions().constFirst());
        settle(100);
        popups.append(submenu);
    }
    const QImage image = composite(&window, popups);
    for (auto popup = popups.crbegin(); popup != popups.crend(); ++popup)
        static_cast<QMenu *>(*popup)->close();
    settle(100);
    const QString path = QDir(folder).filePath(u"demo-main.png"_s);
    return image.save(path) ? QString() : u"cannot write "_s + path;
}

QWidget *topLevel(const QString &objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName && widget->isVisible())
            return widget;
    }
    return nullptr;
}

QString captureConfigure(DemoWindow &window, const QString &folder)
{
    window.externalApps()->ShowForm(0, &window);
    settle(300);
    QWidget *form = topLevel(u"frmEditApps"_s);
    if (!form)
        return u"the program list window did not appear"_s;
    // An application chosen, so its path and command line are on show.
    if (auto *tree = form->findChild<QTreeWidget *>(u"tvGroup"_s)) {
        tree->expandAll();
        if (QTreeWidgetItem *group = tree->topLevelItem(0); group && group->childCount() > 0)
            tree->setCurrentItem(group->child(0));
    }
    // At the size it opens with: its names show whole.
    form->move(window.geometry().center() - form->rect().center());
    settle(200);
    const QImage image = composite(&window, {form}, true);
    window.externalApps()->HideForm();
    const QString path = QDir(folder).filePath(u"demo-configure.png"_s);
    return image.save(path) ? QString() : u"cannot write "_s + path;
}

/// The sample's three fruit lines counted into the output pane, then sorted in place.
QString captureOutput(DemoWindow &window, const QString &folder)
{
    TextView *view = window.textView();
    QTextCursor lines = view->document()->find(u"  pear"_s);
    if (lines.isNull())
        return u"the sample has no lines to sort"_s;
    lines.movePosition(QTextCursor::StartOfBlock);
    lines.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 3);
    view->setTextCursor(lines);
    view->centerCursor();
    if (!runTool(window, u"Word count"_s) || !runTool(window, u"Sort lines"_s))
        return u"the sample's text tools did not run"_s;
    settle(200);
    const QImage image = composite(&window, {});
    const QString path = QDir(folder).filePath(u"demo-output.png"_s);
    return image.save(path) ? QString() : u"cannot write "_s + path;
}

} // namespace

QString capture(DemoWindow &window, const QString &folder)
{
    if (!QDir().mkpath(folder))
        return u"cannot create "_s + folder;
    window.show();
    window.textView()->setFocus();
    placeCursor(window.textView());
    launchSortedCopy(window);
    settle(300);
    QString error = captureMain(window, folder);
    if (error.isEmpty())
        error = captureConfigure(window, folder);
    if (error.isEmpty())
        error = captureOutput(window, folder);
    return error;
}

} // namespace Screenshots

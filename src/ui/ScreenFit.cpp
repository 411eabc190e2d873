// SPDX-License-Identifier: MIT
#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace Lanyard::ScreenFit {

QSize availableSize(const QWidget *widget)
{
    const QScreen *screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

QSize share(const QWidget *widget, int numerator, int denominator)
{
    return availableSize(widget) * numerator / denominator;
}

void resizeWithin(QWidget *window, QSize wanted)
{
    const QSize room = availableSize(window);
    const QSize least = window->minimumSizeHint();
    if (least.boundedTo(room) != least)
        window->setMinimumSize(least.boundedTo(room));
    window->resize(wanted.boundedTo(room));
}

void centreOver(QWidget *window, const QWidget *owner)
{
    const QWidget *ownerWindow = owner->window();
    const QScreen *screen = ownerWindow->screen() ? ownerWindow->screen() : QGuiApplication::primaryScreen();
    QRect placed(QPoint(), window->frameGeometry().size());
    placed.moveCenter(ownerWindow->frameGeometry().center());
    if (screen) {
        // The top left corner wins where the window is larger than the room.
        const QRect room = screen->availableGeometry();
        placed.moveRight(std::min(placed.right(), room.right()));
        placed.moveBottom(std::min(placed.bottom(), room.bottom()));
        placed.moveLeft(std::max(placed.left(), room.left()));
        placed.moveTop(std::max(placed.top(), room.top()));
    }
    window->move(placed.topLeft());
}

QScrollArea *scrolling(QWidget *content)
{
    auto *area = new QScrollArea(content->parentWidget());
    area->setObjectName(content->objectName() + QStringLiteral("Scroller"));
    area->setFrameShape(QFrame::NoFrame);
    // The controls inside take the focus; the area scrolls to the one that has it.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidgetResizable(true);
    area->setWidget(content);
    return area;
}

} // namespace Lanyard::ScreenFit

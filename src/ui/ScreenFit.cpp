// SPDX-License-Identifier: MIT
#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

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

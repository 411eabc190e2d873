// SPDX-License-Identifier: MIT
#include "Twips.h"

#include <QWidget>

namespace Lanyard::Twips {

namespace {
constexpr double twipsPerInch = 1440.0;
}

int toPixels(int twips, int logicalDpi) { return qRound(twips * logicalDpi / twipsPerInch); }

int toPixelsX(const QWidget *widget, int twips) { return toPixels(twips, widget->logicalDpiX()); }
int toPixelsY(const QWidget *widget, int twips) { return toPixels(twips, widget->logicalDpiY()); }

QMargins margins(const QWidget *widget, int left, int top, int right, int bottom)
{
    return QMargins(toPixelsX(widget, left), toPixelsY(widget, top), toPixelsX(widget, right),
                    toPixelsY(widget, bottom));
}

void setMinimumSize(QWidget *widget, int width, int height)
{
    // An explicit minimum size overrides the hint in a layout, so it must include it.
    widget->setMinimumSize(
        QSize(toPixelsX(widget, width), toPixelsY(widget, height)).expandedTo(widget->minimumSizeHint()));
}

} // namespace Lanyard::Twips

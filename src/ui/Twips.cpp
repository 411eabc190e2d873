#include "Twips.h"

#include <QWidget>

namespace Lanyard::Twips {

namespace {
constexpr double twipsPerInch = 1440.0;
}

int toPixels(int twips, int logicalDpi) { return qRound(twips * logicalDpi / twipsPerInch); }

void place(QWidget *widget, int left, int top, int width, int height)
{
    const int dpiX = widget->logicalDpiX();
    const int dpiY = widget->logicalDpiY();
    widget->setGeometry(toPixels(left, dpiX), toPixels(top, dpiY), toPixels(width, dpiX), toPixels(height, dpiY));
}

void setClientSize(QWidget *widget, int width, int height)
{
    widget->setFixedSize(toPixels(width, widget->logicalDpiX()), toPixels(height, widget->logicalDpiY()));
}

} // namespace Lanyard::Twips

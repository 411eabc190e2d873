#include "Twips.h"

#include <QWidget>

namespace Lanyard::Twips {

namespace {
constexpr double twipsPerInch = 1440.0;
}

int toPixels(int twips, int logicalDpi) { return qRound(twips * logicalDpi / twipsPerInch); }

QRect toPixels(const QWidget *widget, int left, int top, int width, int height)
{
    const int dpiX = widget->logicalDpiX();
    const int dpiY = widget->logicalDpiY();
    return QRect(toPixels(left, dpiX), toPixels(top, dpiY), toPixels(width, dpiX), toPixels(height, dpiY));
}

int toTwipsX(const QWidget *widget, int pixels) { return qRound(pixels * twipsPerInch / widget->logicalDpiX()); }
int toTwipsY(const QWidget *widget, int pixels) { return qRound(pixels * twipsPerInch / widget->logicalDpiY()); }

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(widget, left, top, width, height));
}

void setClientSize(QWidget *widget, int width, int height)
{
    widget->setFixedSize(toPixels(widget, 0, 0, width, height).size());
}

void setInitialClientSize(QWidget *widget, int width, int height)
{
    const QSize size = toPixels(widget, 0, 0, width, height).size();
    widget->setMinimumSize(size);
    widget->resize(size);
}

} // namespace Lanyard::Twips

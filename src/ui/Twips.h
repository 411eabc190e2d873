#pragma once

#include <QRect>

class QWidget;

/// Window geometry given in twips (1/1440 inch): 15 twips a pixel at 96 dots per inch, scaled
/// by the logical DPI. With Qt's high-DPI scaling a pixel is a device-independent one.
namespace Lanyard::Twips {

int toPixels(int twips, int logicalDpi);

/// Places @p widget at the twips rectangle (left, top, width, height) of its parent.
void place(QWidget *widget, int left, int top, int width, int height);

/// Gives the window @p widget a fixed client area of @p width by @p height twips.
void setClientSize(QWidget *widget, int width, int height);

/// Gives the window @p widget a client area of @p width by @p height twips that the user may
/// make larger, never smaller.
void setInitialClientSize(QWidget *widget, int width, int height);

/// The rectangle (left, top, width, height), in twips, in pixels of @p widget's screen.
QRect toPixels(const QWidget *widget, int left, int top, int width, int height);

/// A pixel length of @p widget's screen in twips, horizontally.
int toTwipsX(const QWidget *widget, int pixels);
/// A pixel length of @p widget's screen in twips, vertically.
int toTwipsY(const QWidget *widget, int pixels);

} // namespace Lanyard::Twips

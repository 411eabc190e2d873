// SPDX-License-Identifier: MIT
#pragma once

#include <QMargins>

class QWidget;

/// Window geometry given in twips (1/1440 inch): 15 twips a pixel at 96 dots per inch, scaled
/// by the logical DPI. With Qt's high-DPI scaling a pixel is a device-independent one.
namespace Lanyard::Twips {

int toPixels(int twips, int logicalDpi);

/// A horizontal length of @p widget's screen in pixels.
int toPixelsX(const QWidget *widget, int twips);
/// A vertical length of @p widget's screen in pixels.
int toPixelsY(const QWidget *widget, int twips);

/// Layout margins (left, top, right, bottom) in pixels of @p widget's screen.
QMargins margins(const QWidget *widget, int left, int top, int right, int bottom);

/// Keeps @p widget at least @p width by @p height twips, and larger where its content needs
/// more (its minimum size hint: a caption shown whole, a text box as high as its font).
/// Called once the widget's text and font are set.
void setMinimumSize(QWidget *widget, int width, int height);

} // namespace Lanyard::Twips

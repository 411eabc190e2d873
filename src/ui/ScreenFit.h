// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>

class QScrollArea;
class QWidget;

/// How a window's size meets its screen: a window opens large enough for what it shows, but
/// never larger than the room its screen leaves for windows.
namespace Lanyard::ScreenFit {

/// The size of the room @p widget's screen leaves for windows (the primary screen's without one).
QSize availableSize(const QWidget *widget);

/// At most @p numerator / @p denominator of the available room, for a view that grows with its
/// rows: the rest is left to the other windows.
QSize share(const QWidget *widget, int numerator, int denominator);

/// Resizes @p window to @p wanted, cut to the available room (a minimum size larger than that
/// room is lowered to it, so that the window never opens larger than the screen).
void resizeWithin(QWidget *window, QSize wanted);

/// Moves @p window so that it is centred over @p owner's window, kept inside the room the
/// owner's screen leaves for windows.
void centreOver(QWidget *window, const QWidget *owner);
/**
 * Puts @p content into a frameless scroll area that takes all its room: on a screen smaller
 * than the content the window scrolls rather than hiding its lower controls. The scroll area,
 * for the caller's layout.
 */
QScrollArea *scrolling(QWidget *content);

} // namespace Lanyard::ScreenFit

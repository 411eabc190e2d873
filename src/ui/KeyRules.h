// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QKeyEvent;
class QObject;

/// How the configuration windows read a key press.
namespace Lanyard::KeyRules {

/// Whether @p key is Return or the keypad's Enter.
bool isEnter(int key);

/**
 * Clicks @p watched when it is a push button and @p event is Return or Enter, as a focused
 * button answers Return in desktop dialogs. No button is made a default button for this, so
 * Return in a text box still presses nothing. Whether it clicked.
 */
bool clickButtonOnEnter(QObject *watched, const QKeyEvent *event);

/// What @p event would insert into a text box: its printable text, or the clipboard's text
/// for a paste key; empty for navigation and editing keys (Tab, Delete, Ctrl+A, arrows...).
QString insertedText(const QKeyEvent *event);

} // namespace Lanyard::KeyRules

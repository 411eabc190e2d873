// SPDX-License-Identifier: MIT
#pragma once

/// What the command-line host can show windows on, found out before any QApplication exists
/// (a QApplication that cannot reach its display ends the program).
namespace Windowing {

/// Windows can be opened: a platform forced by QT_QPA_PLATFORM, or a Wayland or X display
/// that answers.
bool canOpenWindows();

/// A person can see them: a Wayland or X display that answers, and no platform such as
/// offscreen forced instead.
bool isSeen();

} // namespace Windowing

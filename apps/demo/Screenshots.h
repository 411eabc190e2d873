// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class DemoWindow;

/// Pictures of the demo for the documentation; they work on the offscreen platform.
namespace Screenshots {

/// Writes demo-main.png (the window with its Tools menu open), demo-configure.png (the
/// program list window) and demo-output.png (a tool's output in the pane, another's in the
/// text) to @p folder. Returns an error text, empty on success.
QString capture(DemoWindow &window, const QString &folder);

} // namespace Screenshots

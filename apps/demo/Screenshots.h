// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class DemoWindow;

/// Pictures of the demo for the documentation; they work on the offscreen platform.
namespace Screenshots {

/// Writes demo-main.png (the window with its Tools menu open) and demo-configure.png (the
/// program list window) to @p folder. Returns an error text, empty on success.
QString capture(DemoWindow &window, const QString &folder);

} // namespace Screenshots

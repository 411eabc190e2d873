// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace Lanyard {

/**
 * Finds top-level windows of the desktop by their title and asks them to close. Holds its
 * connection to the display for its lifetime; without a display it never finds a window.
 * The display tells it when windows come and go or change their titles: its descriptor
 * becomes readable then, so a wait for a window needs no periodic look.
 */
class WindowFinder
{
public:
    using WindowId = std::uint32_t;

    WindowFinder();
    ~WindowFinder();
    WindowFinder(const WindowFinder &) = delete;
    WindowFinder &operator=(const WindowFinder &) = delete;

    /// The first top-level window whose title equals @p title exactly.
    std::optional<WindowId> find(const QString &title);

    /// Asks @p window to close, as its close button would; true when the request was sent.
    bool close(WindowId window);

    /// The connection's descriptor, readable when the display has news; -1 without a display.
    int descriptor() const;

    /// Drops the news received so far; true when there was any (a find() may now find more).
    bool takeNews();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

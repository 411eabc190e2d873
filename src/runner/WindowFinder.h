#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace Lanyard {

/**
 * Finds top-level windows of the desktop by their title and asks them to close. Holds its
 * connection to the display for its lifetime; without a display it never finds a window.
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

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

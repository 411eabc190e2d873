// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>

namespace Lanyard {

/**
 * The one window of its kind in the process: loaded when first needed, unloaded when it is
 * closed. @p Window derives from SingleWindow<Window>.
 */
template<typename Window>
class SingleWindow
{
public:
    /// The loaded window, or null.
    static Window *instance() { return s_loaded; }

protected:
    /// The loaded window, loaded now by @p make if it was not.
    template<typename Make>
    static Window *loadWith(Make make)
    {
        if (!s_loaded)
            s_loaded = make();
        return s_loaded;
    }
    /// Deletes the loaded window, if any.
    static void deleteLoaded() { delete s_loaded.data(); }
    /// From now on no window is loaded; the caller deletes the old one.
    static void forgetLoaded() { s_loaded = nullptr; }
    static bool isLoaded(const Window *window) { return window && s_loaded == window; }

private:
    static inline QPointer<Window> s_loaded;
};

} // namespace Lanyard

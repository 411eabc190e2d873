#pragma once

#include <Lanyard/ComponentError.h>

#include <functional>

/// The number of the ComponentError that @p call throws; 0 when it throws none.
inline int errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const Lanyard::ComponentError &error) {
        return error.number();
    }
    return 0;
}

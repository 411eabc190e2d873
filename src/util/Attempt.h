#pragma once

#include <Lanyard/Result.h>

#include <new>
#include <type_traits>

namespace Lanyard {

/// Runs @p work, which reports failure by throwing ComponentError, and gives its outcome as a
/// Result: the one place where the thrown errors of the public members become values.
template<typename Work>
auto attempt(Work &&work) -> Result<std::invoke_result_t<Work>>
{
    using T = std::invoke_result_t<Work>;
    try {
        if constexpr (std::is_void_v<T>) {
            work();
            return Result<void>();
        } else {
            return Result<T>(work());
        }
    } catch (const ComponentError &error) {
        return error;
    } catch (const std::bad_alloc &) {
        return ComponentError(ErrorCode::OutOfMemory);
    }
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>

namespace Lanyard {

/// Makes the system call in @p call again for as long as a signal cuts it short (-1 with EINTR),
/// and gives its first answer that is not such a cut: the call's own result, errno as it left it.
template<typename Call>
auto uninterrupted(Call &&call)
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}

} // namespace Lanyard

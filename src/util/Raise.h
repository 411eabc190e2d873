// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ComponentError.h>

namespace Lanyard {

/// Fails the member being called with the numbered error @p code; it has changed nothing.
[[noreturn]] inline void raiseError(ErrorCode code, const QString &detail = QString())
{
    throw ComponentError(code, detail);
}

/// The error of a file operation that failed with @p error (an errno), numbered as a host knows
/// it, with what failed in words.
ComponentError fileError(int error, const QString &what);

/// The error of a slot outside its table or a name that is not found where a record is needed.
[[noreturn]] inline void raiseIndexError() { raiseError(ErrorCode::IndexOutOfRange); }

} // namespace Lanyard

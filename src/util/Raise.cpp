// SPDX-License-Identifier: MIT
#include "Raise.h"

#include <cerrno>

namespace Lanyard {

ComponentError fileError(int error, const QString &what)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ComponentError(ErrorCode::PermissionDenied, what);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ComponentError(ErrorCode::DiskFull, what);
    case EISDIR:
    case EINVAL:
        return ComponentError(ErrorCode::PathFileAccessError, what);
    default:
        return ComponentError(ErrorCode::DeviceIOError, what);
    }
}

} // namespace Lanyard

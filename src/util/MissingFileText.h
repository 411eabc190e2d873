#pragma once

#include <QString>

namespace Lanyard {

/// What the launch and its message box say of a program file that is not there; the path follows.
inline QString missingFileText() { return QStringLiteral("Unable to find the file: "); }

} // namespace Lanyard

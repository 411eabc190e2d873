// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Where the process runner finds STUB16.EXE, its helper program.
namespace Lanyard::StubProgram {

/// The helper's absolute path: under libexec/lanyard/ of the installed tree the library's own
/// file lies in, else beside that file (the build tree).
QString path();

} // namespace Lanyard::StubProgram

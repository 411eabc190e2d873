#pragma once

#include <QString>

/// Where the process runner finds STUB16.EXE, its helper program.
namespace Lanyard::StubProgram {

/// The helper's absolute path: beside the library's own file.
QString path();

} // namespace Lanyard::StubProgram

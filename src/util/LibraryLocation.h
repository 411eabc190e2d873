// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Where the library's own file lies, found at run time from the loaded library.
namespace Lanyard::LibraryLocation {

/// Absolute path of the loaded library file.
QString filePath();

/// The folder holding the library file, ending with "/".
QString folder();

/// The library file's name without folder and extension (for example "liblanyard").
QString baseName();

} // namespace Lanyard::LibraryLocation

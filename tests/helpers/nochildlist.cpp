// SPDX-License-Identifier: MIT
// No longer preloaded by any test; kept until tests/helpers/CMakeLists.txt stops building it.

// SPDX-License-Identifier: MIT
#pragma once

/// Marks the classes that make up the library's interface; everything else stays inside it,
/// the private parts of those classes included (LANYARD_NO_EXPORT).
#if defined(__GNUC__) || defined(__clang__)
#define LANYARD_EXPORT __attribute__((visibility("default")))
#define LANYARD_NO_EXPORT __attribute__((visibility("hidden")))
#else
#define LANYARD_EXPORT
#define LANYARD_NO_EXPORT
#endif

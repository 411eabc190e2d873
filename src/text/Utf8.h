// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

/// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, so that decoding and
/// encoding again gives the same bytes.
namespace Lanyard::Utf8 {

/// The length of the longest prefix of @p bytes that is strict UTF-8. A sequence cut off by the
/// end of @p bytes is not part of the prefix.
qsizetype validPrefix(QByteArrayView bytes);

inline bool isValid(QByteArrayView bytes) { return validPrefix(bytes) == bytes.size(); }

} // namespace Lanyard::Utf8

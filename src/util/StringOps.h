// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Trimming for the launch list reader and the launch: blanks are tabs and spaces only.
namespace Lanyard::StringOps {

/// The text without tab characters at either end.
QString TrimTabs(const QString &text);

/// The text without tabs and spaces at either end; no other character counts as a blank.
QString TrimBlanks(const QString &text);

} // namespace Lanyard::StringOps

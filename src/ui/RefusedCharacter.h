// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// Which character of an entry's texts the launch list refused.
namespace Lanyard::RefusedCharacter {

struct Fault
{
    /// The index of the text in the list given.
    qsizetype text = 0;
    qsizetype position = 0;
    /// The character, two UTF-16 units for one beyond the basic plane.
    QString character;
};

/**
 * The first character of @p texts (a group name first) that a launch list may refuse: one that
 * ends a field or a line, a ";" opening a group name, a lone surrogate, and only then one
 * beyond Latin-1, which a Latin-1 list cannot hold. Nothing when every character is one any
 * list holds.
 */
std::optional<Fault> find(const QStringList &texts);

} // namespace Lanyard::RefusedCharacter

#pragma once

#include <QString>

/// String routines of the launch list reader and the launch: blanks are tabs and spaces only.
namespace Lanyard::StringOps {

/// The text without tab characters at either end.
QString TrimTabs(const QString &text);

/// The text without tabs and spaces at either end; no other character counts as a blank.
QString TrimBlanks(const QString &text);

/**
 * Takes the next field off the front of @p line and leaves the rest in it. Leading spaces
 * are dropped first; the delimiter is found without regard to case. With a non-empty
 * @p startMarker the field begins after the first occurrence of the marker (when there is
 * one) and the delimiter is looked for after it.
 */
QString NextField(QString &line, const QString &startMarker, const QString &delimiter);

} // namespace Lanyard::StringOps

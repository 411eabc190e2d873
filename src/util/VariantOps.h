// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QVariant>

/// Conversions of late-bound and number-or-name arguments. Failures throw ComponentError.
namespace Lanyard::VariantOps {

/// True when the value holds text: such a value is a name, even when it holds digits.
bool holdsName(const QVariant &value);

/**
 * The value as a 16-bit signed integer: fractions round to the nearest whole number, halves
 * to the even one; text is read as a number. Outside -32768..32767: Overflow; no number at
 * all (an empty value, a list, text that is no number): TypeMismatch.
 */
qint16 toInt16(const QVariant &value);

/// The value as a 32-bit signed integer, by the same rules as toInt16.
qint32 toInt32(const QVariant &value);

/// The value as text; lists, maps and objects fail with TypeMismatch.
QString toText(const QVariant &value);

/// The value as a Boolean: a number is true when not zero; text may also read true or false.
bool toBool(const QVariant &value);

} // namespace Lanyard::VariantOps

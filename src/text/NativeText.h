#pragma once

#include <QByteArray>
#include <QString>

/**
 * Text that stands for the bytes of the operating system: file names, program arguments, the
 * command line. UTF-8 bytes are their characters; every other byte b (0x80 to 0xFF) is the
 * lone surrogate U+DC00 + b, so that any bytes survive the trip through a QString and back.
 * (QFile::encodeName and decodeName turn such bytes into U+FFFD and lose them.)
 */
namespace Lanyard::NativeText {

/// The characters of @p bytes as described above.
QString decode(QByteArrayView bytes);

/// The bytes that @p text stands for: UTF-8, with U+DC80..U+DCFF back as single bytes.
QByteArray encode(QStringView text);

} // namespace Lanyard::NativeText

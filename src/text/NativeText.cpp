// SPDX-License-Identifier: MIT
#include "NativeText.h"

#include "Utf8.h"

#include <QStringDecoder>

namespace Lanyard::NativeText {

namespace {

constexpr char16_t escapeBase = 0xDC00;

/// Valid UTF-8 as text, a leading byte order mark included: it is part of the value.
QString validUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8(bytes);
}

bool isEscapedByte(QChar c) { return c.unicode() >= escapeBase + 0x80 && c.unicode() <= escapeBase + 0xFF; }

} // namespace

QString decode(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    while (!bytes.isEmpty()) {
        const qsizetype valid = Utf8::validPrefix(bytes);
        text += validUtf8(bytes.first(valid));
        bytes = bytes.sliced(valid);
        if (!bytes.isEmpty()) {
            text += QChar(escapeBase + uchar(bytes.front()));
            bytes = bytes.sliced(1);
        }
    }
    return text;
}

QByteArray encode(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype run = 0; // start of the characters not yet encoded
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isEscapedByte(text[i]))
            continue;
        bytes += text.sliced(run, i - run).toUtf8();
        bytes += char(text[i].unicode() - escapeBase);
        run = i + 1;
    }
    bytes += text.sliced(run).toUtf8();
    return bytes;
}

} // namespace Lanyard::NativeText

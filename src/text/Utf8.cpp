// SPDX-License-Identifier: MIT
#include "Utf8.h"

#include <QtGlobal>

#include <cstring>

namespace Lanyard::Utf8 {

qsizetype validPrefix(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = s + bytes.size();
    const auto prefix = [&] { return qsizetype(s - reinterpret_cast<const unsigned char *>(bytes.data())); };
    while (s < end) {
        while (end - s >= 8) {
            quint64 word;
            std::memcpy(&word, s, sizeof word);
            if (word & 0x8080808080808080ULL)
                break;
            s += 8;
        }
        if (s == end)
            break;
        const unsigned lead = *s;
        if (lead < 0x80) {
            ++s;
            continue;
        }
        int trail;
        if (lead >= 0xC2 && lead <= 0xDF)
            trail = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            trail = 2;
        else if (lead >= 0xF0 && lead <= 0xF4)
            trail = 3;
        else
            return prefix();
        if (end - s <= trail)
            return prefix();
        char32_t code = lead & (0x3Fu >> trail);
        for (int i = 1; i <= trail; ++i) {
            if ((s[i] & 0xC0) != 0x80)
                return prefix();
            code = (code << 6) | (s[i] & 0x3F);
        }
        if (trail == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)))
            return prefix();
        if (trail == 3 && (code < 0x10000 || code > 0x10FFFF))
            return prefix();
        s += trail + 1;
    }
    return bytes.size();
}

} // namespace Lanyard::Utf8

// SPDX-License-Identifier: MIT
#include "TextDecoder.h"

#include <algorithm>

namespace Lanyard {

namespace {

/// The bytes a UTF-8 sequence that begins with @p lead takes; 1 for a byte that begins none.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

/// The end of @p bytes that begins a character and stops short of its end; empty when none.
QByteArray cutCharacter(const QByteArray &bytes)
{
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, bytes.size()); ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(bytes.size() - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation: the lead is further back
        return sequenceLength(byte) > back ? bytes.right(back) : QByteArray();
    }
    return QByteArray();
}

} // namespace

QString TextDecoder::decode(const QByteArray &bytes)
{
    if (m_cut.isEmpty())
        return m_utf8.decode(bytes);
    const QByteArray whole = m_cut + bytes;
    m_cut.clear();
    return m_utf8.decode(whole);
}

void TextDecoder::skip(const QByteArray &bytes)
{
    if (m_utf8.holdsPartOfACharacter()) {
        // A character began while the text was wanted: the decoder ends it (rare, and a piece).
        // Decoding happens when the result becomes a QString.
        const QString dropped = m_utf8.decode(bytes);
        return;
    }
    m_cut = cutCharacter(m_cut + bytes.right(3));
}

bool TextDecoder::holdsPartOfACharacter() const { return m_utf8.holdsPartOfACharacter() || !m_cut.isEmpty(); }

} // namespace Lanyard

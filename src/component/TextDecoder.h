// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace Lanyard {

/**
 * A UTF-8 decoder of a stream that comes in pieces, which tells whether it holds the first bytes
 * of a character still to come. A byte order mark the program writes first is text it wrote,
 * and stays.
 *
 * Pieces nobody wants as text are skipped rather than decoded: only the first bytes of a
 * character cut at a skipped piece's end are kept, so that text decoded later begins with that
 * character whole.
 */
class TextDecoder
{
public:
    /// The text of @p bytes, with what earlier pieces left of a character.
    QString decode(const QByteArray &bytes);
    /// Goes past @p bytes without decoding them, keeping the start of a character they cut.
    void skip(const QByteArray &bytes);
    /// True while a character has begun and not ended.
    bool holdsPartOfACharacter() const;

private:
    /// What decoding gave the state: the part of a character it holds.
    class Utf8 : public QStringDecoder
    {
    public:
        Utf8()
            : QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)
        {
        }
        bool holdsPartOfACharacter() const { return state.remainingChars != 0; }
    };

    Utf8 m_utf8;
    QByteArray m_cut; ///< the start of a character at the end of skipped bytes
};

} // namespace Lanyard

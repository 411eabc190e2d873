// SPDX-License-Identifier: MIT
#include "RefusedCharacter.h"

namespace Lanyard::RefusedCharacter {

namespace {

bool endsFieldOrLine(QChar c) { return c == u',' || c == u'\r' || c == u'\n' || c == QChar::Null; }

/// Where @p text opens a group name with ";" after its blanks, or -1.
qsizetype commentMark(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u' ' && text.at(i) != u'\t')
            return text.at(i) == u';' ? i : -1;
    }
    return -1;
}

/// Whether the surrogates at @p i, one or two, make a character; false past either end.
bool pairAt(const QString &text, qsizetype i)
{
    const QStringView two = QStringView(text).mid(i, 2);
    return two.size() == 2 && two.front().isHighSurrogate() && two.back().isLowSurrogate();
}

bool isLoneSurrogate(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return !pairAt(text, i);
    return c.isLowSurrogate() && (i == 0 || !pairAt(text, i - 1));
}

template<typename Refused>
std::optional<Fault> first(const QStringList &texts, Refused refused)
{
    for (qsizetype t = 0; t < texts.size(); ++t) {
        const QString &text = texts.at(t);
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (refused(text, i)) {
                return Fault{t, i, text.mid(i, pairAt(text, i) ? 2 : 1)};
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Fault> find(const QStringList &texts)
{
    if (const std::optional<Fault> fault = first(texts, [&](const QString &text, qsizetype i) {
            return endsFieldOrLine(text.at(i)) || isLoneSurrogate(text, i)
                   || (&text == &texts.front() && i == commentMark(text));
        }))
        return fault;
    return first(texts, [](const QString &text, qsizetype i) { return text.at(i).unicode() > 0xFF; });
}

} // namespace Lanyard::RefusedCharacter

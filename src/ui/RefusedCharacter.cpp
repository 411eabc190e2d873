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

bool isLoneSurrogate(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    return c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

template<typename Refused>
std::optional<Fault> first(const QStringList &texts, Refused refused)
{
    for (qsizetype t = 0; t < texts.size(); ++t) {
        const QString &text = texts.at(t);
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (refused(text, i)) {
                const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                  && text.at(i + 1).isLowSurrogate();
                return Fault{t, i, text.mid(i, pair ? 2 : 1)};
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

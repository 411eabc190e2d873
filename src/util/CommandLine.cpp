// SPDX-License-Identifier: MIT
#include "CommandLine.h"

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

enum class Quote { None, Single, Double };

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

/// Inside double quotes a backslash escapes only these; before anything else it stays.
bool escapableInDoubleQuotes(QChar c) { return c == u'"' || c == u'\\' || c == u'$' || c == u'`'; }

class Splitter
{
public:
    Splitter(const QString &text, const QBitArray &literal)
        : m_text(text)
        , m_literal(literal)
    {
    }

    Result<QStringList> run()
    {
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            const QChar c = m_text.at(i);
            if (isLiteral(i)) {
                append(c);
                continue;
            }
            switch (m_quote) {
            case Quote::None:
                i = unquoted(i, c);
                break;
            case Quote::Single:
                if (c == u'\'')
                    m_quote = Quote::None;
                else
                    append(c);
                break;
            case Quote::Double:
                i = doubleQuoted(i, c);
                break;
            }
        }
        if (m_quote != Quote::None)
            return ComponentError(ErrorCode::InvalidArgument, u"a quote in the command line is not closed"_s);
        endWord();
        return m_words;
    }

private:
    bool isLiteral(qsizetype i) const { return i < m_literal.size() && m_literal.testBit(i); }

    void append(QChar c)
    {
        m_word.append(c);
        m_inWord = true;
    }

    void endWord()
    {
        if (m_inWord)
            m_words.append(m_word);
        m_word.clear();
        m_inWord = false;
    }

    // Each returns the index of the last character it consumed.
    qsizetype unquoted(qsizetype i, QChar c)
    {
        if (isBlank(c)) {
            endWord();
        } else if (c == u'\'') {
            m_quote = Quote::Single;
            m_inWord = true;
        } else if (c == u'"') {
            m_quote = Quote::Double;
            m_inWord = true;
        } else if (c == u'\\' && i + 1 < m_text.size()) {
            // Drops the backslash; the next character (literal or not) is taken as it is.
            append(m_text.at(i + 1));
            return i + 1;
        } else {
            append(c);
        }
        return i;
    }

    qsizetype doubleQuoted(qsizetype i, QChar c)
    {
        if (c == u'"') {
            m_quote = Quote::None;
        } else if (c == u'\\' && i + 1 < m_text.size() && !isLiteral(i + 1)
                   && escapableInDoubleQuotes(m_text.at(i + 1))) {
            append(m_text.at(i + 1));
            return i + 1;
        } else {
            append(c);
        }
        return i;
    }

    const QString &m_text;
    const QBitArray &m_literal;
    Quote m_quote = Quote::None;
    QStringList m_words;
    QString m_word;
    bool m_inWord = false;
};

} // namespace

Result<QStringList> CommandLine::split(const QString &text, const QBitArray &literal)
{
    return Splitter(text, literal).run();
}

} // namespace Lanyard

#include "util/CommandLine.h"

#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QStringList>)

namespace {

std::optional<QStringList> words(const QStringList &list) { return list; }

/// "a[b c]d": the text without brackets, the bracketed characters marked literal (no marks
/// at all when there are no brackets).
std::pair<QString, QBitArray> marked(const QString &text)
{
    if (!text.contains(u'['))
        return {text, QBitArray()};
    QString plain;
    QBitArray literal(text.size());
    bool inside = false;
    for (QChar c : text) {
        if (c == u'[' || c == u']') {
            inside = c == u'[';
            continue;
        }
        literal.setBit(plain.size(), inside);
        plain.append(c);
    }
    literal.resize(plain.size());
    return {plain, literal};
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QStringList>, expected);
        const auto [plain, literal] = marked(text);
        QCOMPARE(CommandLine::split(plain, literal), expected);
    }
};

// Outside the class: moc does not read raw string literals.
void tst_CommandLine::split_data()
{
    QTest::addColumn<QString>("text"); // [...] marks characters a replacement put in
    QTest::addColumn<std::optional<QStringList>>("expected");
    const std::optional<QStringList> fails;
    QTest::newRow("empty") << QString() << words({});
    QTest::newRow("only-blanks") << u" \t \n"_s << words({});
    QTest::newRow("blanks-separate") << u"  a\tb \n c  "_s << words({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("single-quotes-literal") << uR"('a "b" \c $d')"_s << words({uR"(a "b" \c $d)"_s});
    QTest::newRow("double-quote-escapes") << uR"("a \" \\ \$ \` \n")"_s << words({uR"(a " \ $ ` \n)"_s});
    QTest::newRow("unquoted-backslash") << uR"(a\ b \'c\")"_s << words({u"a b"_s, uR"('c")"_s});
    QTest::newRow("quotes-join-a-word") << uR"(--x="a b"'c d'e)"_s << words({u"--x=a bc de"_s});
    QTest::newRow("empty-quotes-are-a-word") << uR"(a "" '' b)"_s << words({u"a"_s, QString(), QString(), u"b"_s});
    QTest::newRow("no-expansion") << uR"($HOME `id` $(id) * ~ ; | &)"_s
                                  << words({u"$HOME"_s, u"`id`"_s, u"$(id)"_s, u"*"_s, u"~"_s, u";"_s, u"|"_s, u"&"_s});
    QTest::newRow("trailing-backslash-kept") << uR"(a\)"_s << words({uR"(a\)"_s});
    QTest::newRow("open-double-quote") << uR"(a "b)"_s << fails;
    QTest::newRow("open-single-quote") << uR"(a 'b)"_s << fails;
    QTest::newRow("escaped-quote-does-not-close") << uR"("a\")"_s << fails;
    QTest::newRow("literal-blank-joins") << u"--file=[my file] x"_s << words({u"--file=my file"_s, u"x"_s});
    QTest::newRow("literal-quotes-plain") << u"[a\"b'c]"_s << words({u"a\"b'c"_s});
    QTest::newRow("literal-quote-does-not-close") << u"\"x[\"] y\""_s << words({u"x\" y"_s});
    QTest::newRow("literal-quote-does-not-open") << u"['] a"_s << words({u"'"_s, u"a"_s});
    QTest::newRow("literal-backslash-does-not-escape") << u"[\\]\"a\""_s << words({u"\\a"_s});
    QTest::newRow("in-double-quotes-no-escape-before-literal") << u"\"\\[$x]\""_s << words({u"\\$x"_s});
    QTest::newRow("only-literal-blanks") << u"[  ]"_s << words({u"  "_s});
    QTest::newRow("plain-open-quote-still-fails") << u"\"[a]"_s << fails;
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"

#include "util/CommandLine.h"

#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QStringList>)

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split();
    void literal_data();
    void literal();
};

namespace {

std::optional<QStringList> words(const QStringList &list) { return list; }

/// "a[b c]d": the text without brackets, the bracketed characters marked literal.
std::pair<QString, QBitArray> marked(const QString &text)
{
    QString plain;
    std::vector<bool> bits;
    bool inside = false;
    for (QChar c : text) {
        if (c == u'[' || c == u']') {
            inside = c == u'[';
            continue;
        }
        plain.append(c);
        bits.push_back(inside);
    }
    QBitArray literal(qsizetype(bits.size()));
    for (size_t i = 0; i < bits.size(); ++i)
        literal.setBit(qsizetype(i), bits[i]);
    return {plain, literal};
}

} // namespace

void tst_CommandLine::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<QStringList>>("expected");

    QTest::newRow("empty") << QString() << words({});
    QTest::newRow("only-blanks") << u" \t \n"_s << words({});
    QTest::newRow("blanks-separate") << u"  a\tb \n c  "_s << words({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("single-quotes-literal") << uR"('a "b" \c $d')"_s << words({uR"(a "b" \c $d)"_s});
    QTest::newRow("double-quote-escapes") << uR"("a \" \\ \$ \` \n")"_s << words({uR"(a " \ $ ` \n)"_s});
    QTest::newRow("unquoted-backslash") << uR"(a\ b \'c\")"_s << words({u"a b"_s, uR"('c")"_s});
    QTest::newRow("quotes-join-a-word") << uR"(--x="a b"'c d'e)"_s << words({u"--x=a bc de"_s});
    QTest::newRow("empty-quotes-are-a-word") << uR"(a "" '' b)"_s << words({u"a"_s, QString(), QString(), u"b"_s});
    QTest::newRow("no-expansion") << uR"($HOME `id` $(id) * ~ ; | &)"_s
                                  << words({u"$HOME"_s, u"`id`"_s, u"$(id)"_s, u"*"_s, u"~"_s, u";"_s, u"|"_s,
                                            u"&"_s});
    QTest::newRow("trailing-backslash-kept") << uR"(a\)"_s << words({uR"(a\)"_s});
    QTest::newRow("open-double-quote") << uR"(a "b)"_s << std::optional<QStringList>();
    QTest::newRow("open-single-quote") << uR"(a 'b)"_s << std::optional<QStringList>();
    QTest::newRow("escaped-quote-does-not-close") << uR"("a\")"_s << std::optional<QStringList>();
}

void tst_CommandLine::split()
{
    QFETCH(QString, text);
    QFETCH(std::optional<QStringList>, expected);
    QCOMPARE(CommandLine::split(text), expected);
}

void tst_CommandLine::literal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<QStringList>>("expected");

    QTest::newRow("literal-blank-joins") << u"--file=[my file] x"_s << words({u"--file=my file"_s, u"x"_s});
    QTest::newRow("literal-quotes-plain") << u"[a\"b'c]"_s << words({u"a\"b'c"_s});
    QTest::newRow("literal-quote-does-not-close") << u"\"x[\"] y\""_s << words({u"x\" y"_s});
    QTest::newRow("literal-quote-does-not-open") << u"['] a"_s << words({u"'"_s, u"a"_s});
    QTest::newRow("literal-backslash-does-not-escape") << u"[\\]\"a\""_s << words({u"\\a"_s});
    QTest::newRow("in-double-quotes-no-escape-before-literal") << u"\"\\[$x]\""_s << words({u"\\$x"_s});
    QTest::newRow("only-literal-blanks") << u"[  ]"_s << words({u"  "_s});
    QTest::newRow("plain-open-quote-still-fails") << u"\"[a]"_s << std::optional<QStringList>();
}

void tst_CommandLine::literal()
{
    QFETCH(QString, text);
    QFETCH(std::optional<QStringList>, expected);
    const auto [plain, bits] = marked(text);
    QCOMPARE(CommandLine::split(plain, bits), expected);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"

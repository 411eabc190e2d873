#include "ui/Captions.h"

#include <Lanyard/ExternalApps.h>

#include <QTest>

using namespace Lanyard;

class tst_Captions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Captions::setLanguageOffset(0); }
    void tableHoldsExactlyTheNinetyIds();
    void languageSelectsPrefixedTexts_data();
    void languageSelectsPrefixedTexts();
};

void tst_Captions::tableHoldsExactlyTheNinetyIds()
{
    QList<int> expected;
    for (int offset : {0, 250, 500}) {
        for (auto [first, last] : {std::pair{101, 108}, std::pair{151, 168}, std::pair{201, 204}}) {
            for (int id = first; id <= last; ++id)
                expected.append(id + offset);
        }
    }
    QCOMPARE(expected.size(), 90);
    QCOMPARE(Captions::ids(), expected);
}

void tst_Captions::languageSelectsPrefixedTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("english") << 0 << QString();
    QTest::newRow("german") << 1 << QStringLiteral("DEU:");
    QTest::newRow("french") << 2 << QStringLiteral("FRA:");
    QTest::newRow("above-range-is-english") << 7 << QString();
    QTest::newRow("negative-is-english") << -1 << QString();
}

void tst_Captions::languageSelectsPrefixedTexts()
{
    QFETCH(int, language);
    QFETCH(QString, prefix);
    QHash<int, QString> english;
    for (int id : Captions::ids()) {
        if (id < 250)
            english.insert(id, Captions::text(id));
    }
    QCOMPARE(english.value(102), QStringLiteral("&Add Program"));
    ExternalApps apps;
    apps.setLanguage(Language(language));
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        QVERIFY2(!it.value().isEmpty(), qPrintable(QString::number(it.key())));
        QCOMPARE(Captions::text(it.key()), prefix + it.value());
    }
}

QTEST_GUILESS_MAIN(tst_Captions)
#include "tst_captions.moc"

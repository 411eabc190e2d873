#include "ui/Captions.h"

#include <Lanyard/ExternalApps.h>

#include <QTest>

using namespace Lanyard;

class tst_Captions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void tableHoldsExactlyTheNinetyIds();
    void translationsArePrefixedEnglish_data();
    void translationsArePrefixedEnglish();
    void lookupFollowsLanguage_data();
    void lookupFollowsLanguage();
    void languageIsSharedByAllObjects();
};

void tst_Captions::cleanup() { Captions::setLanguageOffset(0); }

void tst_Captions::tableHoldsExactlyTheNinetyIds()
{
    QList<int> expected;
    for (int offset : {0, 250, 500}) {
        for (auto [first, last] : {std::pair{101, 108}, std::pair{151, 168}, std::pair{201, 204}}) {
            for (int id = first; id <= last; ++id)
                expected.append(id + offset);
        }
    }
    std::sort(expected.begin(), expected.end());
    QCOMPARE(expected.size(), 90);
    QCOMPARE(Captions::ids(), expected);
}

void tst_Captions::translationsArePrefixedEnglish_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("german") << 250 << QStringLiteral("DEU:");
    QTest::newRow("french") << 500 << QStringLiteral("FRA:");
}

void tst_Captions::translationsArePrefixedEnglish()
{
    QFETCH(int, offset);
    QFETCH(QString, prefix);
    for (int id : Captions::ids()) {
        if (id > 250)
            break;
        Captions::setLanguageOffset(0);
        const QString english = Captions::text(id);
        QVERIFY2(!english.isEmpty(), qPrintable(QString::number(id)));
        Captions::setLanguageOffset(offset);
        QCOMPARE(Captions::text(id), prefix + english);
    }
}

void tst_Captions::lookupFollowsLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("addProgram");
    QTest::addColumn<QString>("pickerColumn");
    QTest::newRow("english") << 0 << QStringLiteral("&Add Program") << QStringLiteral("Example string");
    QTest::newRow("german") << 1 << QStringLiteral("DEU:&Add Program") << QStringLiteral("DEU:Example string");
    QTest::newRow("french") << 2 << QStringLiteral("FRA:&Add Program") << QStringLiteral("FRA:Example string");
    QTest::newRow("above-range-is-english") << 7 << QStringLiteral("&Add Program") << QStringLiteral("Example string");
    QTest::newRow("negative-is-english") << -1 << QStringLiteral("&Add Program") << QStringLiteral("Example string");
}

void tst_Captions::lookupFollowsLanguage()
{
    QFETCH(int, language);
    QFETCH(QString, addProgram);
    QFETCH(QString, pickerColumn);
    ExternalApps apps;
    apps.setLanguage(Language(language));
    QCOMPARE(Captions::text(102), addProgram);
    QCOMPARE(Captions::text(203), pickerColumn);
}

void tst_Captions::languageIsSharedByAllObjects()
{
    ExternalApps first;
    ExternalApps second;
    first.setLanguage(Language::lFrench);
    QCOMPARE(second.Language(), Language::lEnglish);
    QCOMPARE(Captions::text(101), QStringLiteral("FRA:Configure Launch Application"));
}

QTEST_GUILESS_MAIN(tst_Captions)
#include "tst_captions.moc"

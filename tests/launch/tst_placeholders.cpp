#include "common/ComponentErrors.h"

#include <Lanyard/ExternalApps.h>

#include <QTest>

#include <functional>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

using Pairs = QList<std::pair<QString, QString>>;

} // namespace

Q_DECLARE_METATYPE(Pairs)

class tst_Placeholders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registration_data()
    {
        QTest::addColumn<Pairs>("added");
        QTest::addColumn<Pairs>("table");
        const Pairs ba{{u"%B%"_s, u"b"_s}, {u"%A%"_s, u"a"_s}};
        QTest::newRow("order-of-first-registration") << ba << ba;
        QTest::newRow("again-updates-in-place") << Pairs{{u"%A%"_s, u"1"_s}, {u"%B%"_s, u"b"_s}, {u"%A%"_s, u"2"_s}}
                                                << Pairs{{u"%A%"_s, u"2"_s}, {u"%B%"_s, u"b"_s}};
        QTest::newRow("other-case-takes-new-spelling")
            << Pairs{{u"%file%"_s, u"1"_s}, {u"%x%"_s, u"x"_s}, {u"%FILE%"_s, u"2"_s}}
            << Pairs{{u"%FILE%"_s, u"2"_s}, {u"%x%"_s, u"x"_s}};
        QTest::newRow("non-ascii-case") << Pairs{{u"%Ärger%"_s, u"1"_s}, {u"%äRGER%"_s, u"2"_s}}
                                        << Pairs{{u"%äRGER%"_s, u"2"_s}};
        const Pairs empties{{QString(), QString()}, {u"x"_s, QString()}};
        QTest::newRow("empty-strings-stored") << empties << empties;
    }
    void registration()
    {
        QFETCH(Pairs, added);
        QFETCH(Pairs, table);
        ExternalApps apps;
        for (const auto &[search, replace] : added)
            apps.AddPlaceHolder(search, replace);
        QCOMPARE(apps.PlaceholderCount(), qint16(table.size()));
        for (qint16 i = 0; i < table.size(); ++i) {
            QCOMPARE(apps.SearchString(i), table[i].first);
            QCOMPARE(apps.ReplaceString(QVariant(i)), table[i].second);
            QCOMPARE(apps.ReplaceString(QVariant(table[i].first)), table[i].second);
        }
    }

    void lookups_data()
    {
        QTest::addColumn<bool>("search"); // SearchString, else ReplaceString
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("error");
        // The table holds %FILE% -> /tmp/a and %USER% -> bob.
        QTest::newRow("replace-by-name-other-case") << false << QVariant(u"%user%"_s) << u"bob"_s << 0;
        QTest::newRow("replace-by-number") << false << QVariant(1) << u"bob"_s << 0;
        QTest::newRow("replace-by-rounded-double") << false << QVariant(0.5) << u"/tmp/a"_s << 0;
        QTest::newRow("digit-text-is-a-name") << false << QVariant(u"0"_s) << QString() << 9;
        QTest::newRow("unknown-name") << false << QVariant(u"%NONE%"_s) << QString() << 9;
        QTest::newRow("negative-number") << false << QVariant(-1) << QString() << 9;
        QTest::newRow("number-at-count") << false << QVariant(2) << QString() << 9;
        QTest::newRow("number-overflow") << false << QVariant(40000) << QString() << 6;
        QTest::newRow("search-at-count") << true << QVariant(2) << QString() << 9;
        QTest::newRow("search-negative") << true << QVariant(-1) << QString() << 9;
    }
    void lookups()
    {
        QFETCH(bool, search);
        QFETCH(QVariant, key);
        QFETCH(QString, value);
        QFETCH(int, error);
        ExternalApps apps;
        apps.AddPlaceHolder(u"%FILE%"_s, u"/tmp/a"_s);
        apps.AddPlaceHolder(u"%USER%"_s, u"bob"_s);
        QString result;
        QCOMPARE(errorOf([&] { result = search ? apps.SearchString(qint16(key.toInt())) : apps.ReplaceString(key); }),
                 error);
        QCOMPARE(result, value);
    }

    void overflowAtTheLimit()
    {
        ExternalApps apps;
        for (int i = 0; i < 32767; ++i)
            apps.AddPlaceHolder(QString::number(i), QString());
        QCOMPARE(apps.PlaceholderCount(), qint16(32767));
        QCOMPARE(errorOf([&] { apps.AddPlaceHolder(u"new"_s, u"x"_s); }), 6);
        QCOMPARE(apps.PlaceholderCount(), qint16(32767));
        // Updating a registered one still works on a full table.
        QCOMPARE(errorOf([&] { apps.AddPlaceHolder(u"0"_s, u"zero"_s); }), 0);
        QCOMPARE(apps.ReplaceString(QVariant(u"0"_s)), u"zero"_s);
    }
};

QTEST_GUILESS_MAIN(tst_Placeholders)
#include "tst_placeholders.moc"

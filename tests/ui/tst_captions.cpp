#include "ui/Captions.h"

#include <QTest>

using namespace Lanyard;
using namespace Qt::StringLiterals;

class tst_Captions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableHoldsExactlyTheNinetyIds()
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

    // Which offset a Language gives is the catalogue tests' concern; here: the texts at each offset.
    void translationsArePrefixedEnglish()
    {
        for (auto [offset, prefix] : {std::pair{250, u"DEU:"_s}, std::pair{500, u"FRA:"_s}}) {
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
        Captions::setLanguageOffset(0);
        QCOMPARE(Captions::text(102), u"&Add Program"_s);
    }
};

QTEST_GUILESS_MAIN(tst_Captions)
#include "tst_captions.moc"

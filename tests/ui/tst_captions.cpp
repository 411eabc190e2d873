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
        for (auto [language, prefix] : {std::pair{Language::lGerman, u"DEU:"_s}, std::pair{Language::lFrench, u"FRA:"_s}}) {
            for (int id : Captions::ids()) {
                if (id > Captions::LanguageBlock)
                    break;
                Captions::setLanguage(Language::lEnglish);
                const QString english = Captions::text(TextId(id));
                QVERIFY2(!english.isEmpty(), qPrintable(QString::number(id)));
                Captions::setLanguage(language);
                QCOMPARE(Captions::text(TextId(id)), prefix + english);
            }
        }
        Captions::setLanguage(Language::lEnglish);
        QCOMPARE(Captions::text(TextId::AddProgram), u"&Add Program"_s);
    }
};

QTEST_GUILESS_MAIN(tst_Captions)
#include "tst_captions.moc"

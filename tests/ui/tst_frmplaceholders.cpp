#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QTest>
#include <QTreeWidget>

using namespace Lanyard;
using namespace UiTest;
using namespace Qt::StringLiterals;

namespace {

const QStringList kTable{u"%FILE%=/home/ann/report.txt"_s, u"%USER%=ann"_s, u"%DATE%=2024-05-01"_s};

QTreeWidget *listOf(QWidget *picker) { return child<QTreeWidget>(picker, u"lvPlaceholders"_s); }

} // namespace

class tst_frmPlaceholders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_apps = std::make_unique<ExternalApps>();
        for (const QString &entry : kTable)
            m_apps->AddPlaceHolder(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }

    void cleanup()
    {
        frmPlaceholders::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_apps.reset();
        Captions::setLanguage(Language::lEnglish);
    }

    void initTestCase() { QCOMPARE(frmPlaceholders::SearchString(), QString()); } // nothing held at first

    void closingActions_data()
    {
        // Showings are separated by "|"; the picker is unloaded between them. "empty" gives the
        // next showing an object without placeholders.
        QTest::addColumn<QString>("showings");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("held"); // row of kTable

        // Return, Space and double click choose the highlighted row, the first one at opening.
        QTest::newRow("return-at-once-takes-first-row") << "key:Return" << false << 0;
        QTest::newRow("click-second-return") << "item:%USER% key:Return" << false << 1;
        QTest::newRow("click-second-keypad-enter-with-shift") << "item:%USER% key:Shift+Enter" << false << 1;
        QTest::newRow("click-third-space") << "item:%DATE% key:Space" << false << 2;
        QTest::newRow("down-then-double-click-third") << "key:Down dclick:%DATE%" << false << 2;
        QTest::newRow("down-down-up-return") << "key:Down key:Down key:Up key:Return" << false << 1;
        QTest::newRow("page-down-return") << "key:PgDown key:Return" << false << 2;
        QTest::newRow("second-showing-opens-on-first-row") << "item:%DATE% key:Return | key:Return" << false << 0;
        // Leaving without a choice keeps the row last made current, not the one the fill marks.
        QTest::newRow("click-second-escape") << "item:%USER% key:Esc" << true << 1;
        QTest::newRow("escape-at-once-keeps-held") << "item:%USER% key:Esc | key:Esc" << true << 1;
        QTest::newRow("close-box") << "item:%DATE% close" << true << 2;
        QTest::newRow("empty-table-chooses-nothing") << "item:%USER% key:Esc | empty key:Down key:Space" << true << 1;
    }

    void closingActions()
    {
        QFETCH(QString, showings);
        QFETCH(bool, cancel);
        QFETCH(int, held);

        for (const QString &showing : showings.split(u" | "_s)) {
            frmPlaceholders::Unload();
            QStringList steps = showing.split(u' ');
            if (steps.removeAll(u"empty"_s))
                m_apps = std::make_unique<ExternalApps>();
            frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
            picker->setLaunchAppClass(m_apps.get());
            whenModalShown(u"frmPlaceholders"_s, [steps](QWidget *shown) { play(shown, steps); });
            picker->exec();
        }
        const QString entry = kTable.at(held);
        QCOMPARE(frmPlaceholders::Cancel(), cancel);
        QCOMPARE(frmPlaceholders::SearchString(), entry.section(u'=', 0, 0));
        QCOMPARE(frmPlaceholders::ReplaceString(), entry.section(u'=', 1));
        // The close box unloads the picker, every other way out only hides it.
        QCOMPARE(frmPlaceholders::instance() != nullptr, !showings.endsWith(u"close"));
        // The choice belongs to the process: unloading clears only Cancel.
        frmPlaceholders::Unload();
        QVERIFY(!frmPlaceholders::Cancel());
        QCOMPARE(frmPlaceholders::SearchString(), entry.section(u'=', 0, 0));
    }

    void listShowsTableAndHeadersFollowLanguage()
    {
        frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
        picker->setLaunchAppClass(m_apps.get());
        QTreeWidget *list = listOf(picker);
        QStringList shown;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            shown.append(list->topLevelItem(row)->text(0) + u'=' + list->topLevelItem(row)->text(1));
            QVERIFY(!list->topLevelItem(row)->icon(0).isNull());
        }
        QCOMPARE(shown, kTable);
        QVERIFY(list->topLevelItem(0)->isSelected() && list->currentItem() == list->topLevelItem(0));
        const int width = list->contentsRect().width();
        QCOMPARE(list->columnWidth(0), qRound(width * 0.35));
        QCOMPARE(list->columnWidth(1), qRound(width * 0.65));
        QCOMPARE(list->headerItem()->text(1), u"Example string"_s);

        // The headers are set at each fill; caption and tooltip only when the window is loaded.
        m_apps->setLanguage(Language::lGerman);
        picker->setLaunchAppClass(m_apps.get());
        QCOMPARE(list->headerItem()->text(0) + list->headerItem()->text(1), u"DEU:PlaceholderDEU:Example string"_s);
        QCOMPARE(picker->windowTitle(), u"Insert Placeholder"_s);
        QCOMPARE(list->toolTip(), u"Double click to select a placeholder"_s);
        frmPlaceholders::Unload();
        QCOMPARE(frmPlaceholders::Load(nullptr)->windowTitle(), u"DEU:Insert Placeholder"_s);
    }

private:
    std::unique_ptr<ExternalApps> m_apps;
};

QTEST_MAIN(tst_frmPlaceholders)
#include "tst_frmplaceholders.moc"

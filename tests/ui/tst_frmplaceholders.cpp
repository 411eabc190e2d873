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

// Plays "click:N", "dclick:N", "key:Sequence" and "close" steps on the shown picker.
void play(QWidget *picker, const QStringList &steps)
{
    QTreeWidget *list = listOf(picker);
    for (const QString &step : steps) {
        const QString argument = step.section(u':', 1);
        if (step.startsWith(u"click:"))
            clickItem(list->topLevelItem(argument.toInt()));
        else if (step.startsWith(u"dclick:"))
            doubleClick(list->viewport(), centerOf(list->topLevelItem(argument.toInt())));
        else if (step.startsWith(u"key:"))
            QTest::keySequence(list, QKeySequence(argument));
        else
            picker->close();
        if (!picker->isVisible())
            return;
    }
}

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

    void closingActions_data()
    {
        // Showings are separated by "|"; the picker is unloaded between them. "empty" gives the
        // next showing an object without placeholders.
        QTest::addColumn<QString>("showings");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("held"); // row of kTable, -1 for the empty strings
        QTest::addColumn<bool>("stillLoaded");

        // Runs first: the held strings start empty in a new process.
        QTest::newRow("first-showing-enter-holds-nothing") << "key:Return" << false << -1 << true;
        QTest::newRow("click-second-enter") << "click:1 key:Return" << false << 1 << true;
        QTest::newRow("click-second-keypad-enter-with-shift") << "click:1 key:Shift+Enter" << false << 1 << true;
        QTest::newRow("click-third-space") << "click:2 key:Space" << false << 2 << true;
        QTest::newRow("click-second-escape") << "click:1 key:Esc" << true << 1 << true;
        QTest::newRow("down-then-double-click-third") << "click:0 key:Down dclick:2" << false << 2 << true;
        QTest::newRow("down-down-up-enter") << "click:0 key:Down key:Down key:Up key:Return" << false << 1 << true;
        QTest::newRow("page-down-keeps-held") << "click:0 key:PgDown key:Return" << false << 0 << true;
        QTest::newRow("end-keeps-held") << "click:1 key:End key:Return" << false << 1 << true;
        QTest::newRow("close-box") << "click:2 close" << true << 2 << false;
        QTest::newRow("second-showing-returns-previous") << "click:2 key:Return | key:Return" << false << 2 << true;
        QTest::newRow("empty-table-keeps-held") << "click:1 key:Esc | empty key:Down key:Space" << false << 1 << true;
    }

    void closingActions()
    {
        QFETCH(QString, showings);
        QFETCH(bool, cancel);
        QFETCH(int, held);
        QFETCH(bool, stillLoaded);

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
        const QString entry = held < 0 ? u"="_s : kTable.at(held);
        QCOMPARE(frmPlaceholders::Cancel(), cancel);
        QCOMPARE(frmPlaceholders::SearchString(), entry.section(u'=', 0, 0));
        QCOMPARE(frmPlaceholders::ReplaceString(), entry.section(u'=', 1));
        QCOMPARE(frmPlaceholders::instance() != nullptr, stillLoaded);
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

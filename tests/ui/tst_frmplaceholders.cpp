#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QTest>
#include <QTreeWidget>

using namespace Lanyard;
using namespace UiTest;

namespace {

const QStringList kTable{QStringLiteral("%FILE%=/home/ann/report.txt"), QStringLiteral("%USER%=ann"),
                         QStringLiteral("%DATE%=2024-05-01")};

QTreeWidget *listOf(QWidget *picker) { return child<QTreeWidget>(picker, QStringLiteral("lvPlaceholders")); }

// Plays "click:N", "dclick:N", "key:Name" and "close" steps on the shown picker.
void play(QWidget *picker, const QStringList &steps)
{
    QTreeWidget *list = listOf(picker);
    static const QHash<QString, Qt::Key> keys{
        {QStringLiteral("Enter"), Qt::Key_Return}, {QStringLiteral("KeypadEnter"), Qt::Key_Enter},
        {QStringLiteral("Space"), Qt::Key_Space},  {QStringLiteral("Escape"), Qt::Key_Escape},
        {QStringLiteral("Up"), Qt::Key_Up},        {QStringLiteral("Down"), Qt::Key_Down},
        {QStringLiteral("PageDown"), Qt::Key_PageDown}, {QStringLiteral("End"), Qt::Key_End}};
    for (const QString &step : steps) {
        const QString verb = step.section(u':', 0, 0);
        const QString argument = step.section(u':', 1);
        if (verb == u"click")
            clickItem(list->topLevelItem(argument.toInt()));
        else if (verb == u"dclick")
            doubleClick(list->viewport(), centerOf(list->topLevelItem(argument.toInt())));
        else if (verb == u"key")
            QTest::keyClick(list, keys.value(argument), step.endsWith(u"KeypadEnter") ? Qt::ShiftModifier : Qt::NoModifier);
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
    void init();
    void cleanup();
    void closingActions_data();
    void closingActions();
    void listShowsTableInOrder();
    void headersFollowLanguageAtEachFill();

private:
    std::unique_ptr<ExternalApps> m_apps;
};

void tst_frmPlaceholders::init()
{
    m_apps = std::make_unique<ExternalApps>();
    for (const QString &entry : kTable)
        m_apps->AddPlaceHolder(entry.section(u'=', 0, 0), entry.section(u'=', 1));
}

void tst_frmPlaceholders::cleanup()
{
    frmPlaceholders::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_apps.reset();
    Captions::setLanguageOffset(0);
}

void tst_frmPlaceholders::closingActions_data()
{
    // Showings are separated by "|"; the picker is unloaded between them. "empty" gives the
    // next showing an object without placeholders.
    QTest::addColumn<QString>("showings");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("held"); // row of kTable, -1 for the empty strings
    QTest::addColumn<bool>("stillLoaded");

    // Runs first: the held strings start empty in a new process.
    QTest::newRow("first-showing-enter-holds-nothing") << "key:Enter" << false << -1 << true;
    QTest::newRow("click-second-enter") << "click:1 key:Enter" << false << 1 << true;
    QTest::newRow("click-second-keypad-enter-with-shift") << "click:1 key:KeypadEnter" << false << 1 << true;
    QTest::newRow("click-third-space") << "click:2 key:Space" << false << 2 << true;
    QTest::newRow("click-second-escape") << "click:1 key:Escape" << true << 1 << true;
    QTest::newRow("down-then-double-click-third") << "click:0 key:Down dclick:2" << false << 2 << true;
    QTest::newRow("down-down-up-enter") << "click:0 key:Down key:Down key:Up key:Enter" << false << 1 << true;
    QTest::newRow("page-down-keeps-held") << "click:0 key:PageDown key:Enter" << false << 0 << true;
    QTest::newRow("end-keeps-held") << "click:1 key:End key:Enter" << false << 1 << true;
    QTest::newRow("close-box") << "click:2 close" << true << 2 << false;
    QTest::newRow("second-showing-returns-previous") << "click:2 key:Enter | key:Enter" << false << 2 << true;
    QTest::newRow("empty-table-keeps-held") << "click:1 key:Escape | empty key:Down key:Space" << false << 1 << true;
}

void tst_frmPlaceholders::closingActions()
{
    QFETCH(QString, showings);
    QFETCH(bool, cancel);
    QFETCH(int, held);
    QFETCH(bool, stillLoaded);

    for (const QString &showing : showings.split(QStringLiteral(" | "))) {
        frmPlaceholders::Unload();
        QStringList steps = showing.split(u' ');
        if (steps.removeAll(QStringLiteral("empty")))
            m_apps = std::make_unique<ExternalApps>();
        frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
        picker->setLaunchAppClass(m_apps.get());
        whenModalShown(QStringLiteral("frmPlaceholders"), [steps](QWidget *shown) { play(shown, steps); });
        picker->exec();
    }
    const QString entry = held < 0 ? QStringLiteral("=") : kTable.at(held);
    QCOMPARE(frmPlaceholders::Cancel(), cancel);
    QCOMPARE(frmPlaceholders::SearchString(), entry.section(u'=', 0, 0));
    QCOMPARE(frmPlaceholders::ReplaceString(), entry.section(u'=', 1));
    QCOMPARE(frmPlaceholders::instance() != nullptr, stillLoaded);
    // The choice belongs to the process: unloading clears only Cancel.
    frmPlaceholders::Unload();
    QVERIFY(!frmPlaceholders::Cancel());
    QCOMPARE(frmPlaceholders::SearchString(), entry.section(u'=', 0, 0));
}

void tst_frmPlaceholders::listShowsTableInOrder()
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
}

void tst_frmPlaceholders::headersFollowLanguageAtEachFill()
{
    frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
    picker->setLaunchAppClass(m_apps.get());
    QCOMPARE(listOf(picker)->headerItem()->text(1), QStringLiteral("Example string"));
    m_apps->setLanguage(Language::lGerman);
    picker->setLaunchAppClass(m_apps.get());
    QCOMPARE(listOf(picker)->headerItem()->text(0), QStringLiteral("DEU:Placeholder"));
    QCOMPARE(listOf(picker)->headerItem()->text(1), QStringLiteral("DEU:Example string"));
    // Caption and tooltip were taken when the window was loaded.
    QCOMPARE(picker->windowTitle(), QStringLiteral("Insert Placeholder"));
    QCOMPARE(listOf(picker)->toolTip(), QStringLiteral("Double click to select a placeholder"));
    frmPlaceholders::Unload();
    QCOMPARE(frmPlaceholders::Load(nullptr)->windowTitle(), QStringLiteral("DEU:Insert Placeholder"));
}

QTEST_MAIN(tst_frmPlaceholders)
#include "tst_frmplaceholders.moc"

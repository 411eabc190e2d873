#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

using namespace Lanyard;
using namespace UiTest;

namespace {

QTreeWidget *listOf(QWidget *picker) { return child<QTreeWidget>(picker, QStringLiteral("lvPlaceholders")); }

// Plays "click:N", "dclick:N", "key:Name" and "close" steps on the shown picker.
void play(QWidget *picker, const QStringList &steps)
{
    QTreeWidget *list = listOf(picker);
    const auto itemCenter = [list](int row) { return list->visualItemRect(list->topLevelItem(row)).center(); };
    static const QHash<QString, Qt::Key> keys{{QStringLiteral("Enter"), Qt::Key_Return},
                                              {QStringLiteral("KeypadEnter"), Qt::Key_Enter},
                                              {QStringLiteral("Space"), Qt::Key_Space},
                                              {QStringLiteral("Escape"), Qt::Key_Escape},
                                              {QStringLiteral("Up"), Qt::Key_Up},
                                              {QStringLiteral("Down"), Qt::Key_Down},
                                              {QStringLiteral("PageDown"), Qt::Key_PageDown},
                                              {QStringLiteral("End"), Qt::Key_End}};
    for (const QString &step : steps) {
        const QString verb = step.section(u':', 0, 0);
        const QString argument = step.section(u':', 1);
        if (verb == u"click")
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemCenter(argument.toInt()));
        else if (verb == u"dclick")
            doubleClick(list->viewport(), itemCenter(argument.toInt()));
        else if (verb == u"key")
            QTest::keyClick(list, keys.value(argument), step.endsWith(u"Enter") ? Qt::ShiftModifier : Qt::NoModifier);
        else if (verb == u"close")
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
    void firstShowingKeepsEmptyChoice();
    void listShowsTableInOrder();
    void closingActions_data();
    void closingActions();
    void secondShowingReturnsPreviousChoice();
    void emptyTableClosesWithHeldChoice();
    void headersFollowLanguageAtEachFill();

private:
    // Loads the picker for the test's object, plays @p steps on it while it is shown modally
    // and unloads it when it was not unloaded already.
    void pick(const QStringList &steps);

    std::unique_ptr<ExternalApps> m_apps;
};

void tst_frmPlaceholders::init()
{
    m_apps = std::make_unique<ExternalApps>();
    m_apps->AddPlaceHolder(QStringLiteral("%FILE%"), QStringLiteral("/home/ann/report.txt"));
    m_apps->AddPlaceHolder(QStringLiteral("%USER%"), QStringLiteral("ann"));
    m_apps->AddPlaceHolder(QStringLiteral("%DATE%"), QStringLiteral("2024-05-01"));
}

void tst_frmPlaceholders::cleanup()
{
    frmPlaceholders::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_apps.reset();
    Captions::setLanguageOffset(0);
}

void tst_frmPlaceholders::pick(const QStringList &steps)
{
    frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
    picker->setLaunchAppClass(m_apps.get());
    whenModalShown(QStringLiteral("frmPlaceholders"), [steps](QWidget *shown) { play(shown, steps); });
    picker->exec();
}

void tst_frmPlaceholders::firstShowingKeepsEmptyChoice()
{
    // Runs first: the held strings start empty in a new process.
    pick({QStringLiteral("key:Enter")});
    QCOMPARE(frmPlaceholders::Cancel(), false);
    QCOMPARE(frmPlaceholders::SearchString(), QString());
    QCOMPARE(frmPlaceholders::ReplaceString(), QString());
    QVERIFY(frmPlaceholders::instance());
}

void tst_frmPlaceholders::listShowsTableInOrder()
{
    frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
    picker->setLaunchAppClass(m_apps.get());
    QCOMPARE(picker->windowTitle(), QStringLiteral("Insert Placeholder"));
    QTreeWidget *list = listOf(picker);
    QCOMPARE(list->toolTip(), QStringLiteral("Double click to select a placeholder"));
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("Placeholder"));
    QCOMPARE(list->headerItem()->text(1), QStringLiteral("Example string"));
    QCOMPARE(list->topLevelItemCount(), 3);
    const QStringList searches{QStringLiteral("%FILE%"), QStringLiteral("%USER%"), QStringLiteral("%DATE%")};
    const QStringList examples{QStringLiteral("/home/ann/report.txt"), QStringLiteral("ann"), QStringLiteral("2024-05-01")};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(list->topLevelItem(row)->text(0), searches.at(row));
        QCOMPARE(list->topLevelItem(row)->text(1), examples.at(row));
        QVERIFY(!list->topLevelItem(row)->icon(0).isNull());
    }
    QCOMPARE(list->currentItem(), list->topLevelItem(0));
    QVERIFY(list->topLevelItem(0)->isSelected());
    const int width = list->contentsRect().width();
    QCOMPARE(list->columnWidth(0), qRound(width * 0.35));
    QCOMPARE(list->columnWidth(1), qRound(width * 0.65));
}

void tst_frmPlaceholders::closingActions_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<bool>("stillLoaded");

    QTest::newRow("click-second-enter") << QStringList{"click:1", "key:Enter"} << false << "%USER%" << "ann" << true;
    QTest::newRow("click-second-keypad-enter-with-shift")
        << QStringList{"click:1", "key:KeypadEnter"} << false << "%USER%" << "ann" << true;
    QTest::newRow("click-third-space") << QStringList{"click:2", "key:Space"} << false << "%DATE%" << "2024-05-01" << true;
    QTest::newRow("click-second-escape") << QStringList{"click:1", "key:Escape"} << true << "%USER%" << "ann" << true;
    QTest::newRow("down-then-double-click-third")
        << QStringList{"click:0", "key:Down", "dclick:2"} << false << "%DATE%" << "2024-05-01" << true;
    QTest::newRow("down-down-up-enter")
        << QStringList{"click:0", "key:Down", "key:Down", "key:Up", "key:Enter"} << false << "%USER%" << "ann" << true;
    QTest::newRow("page-down-keeps-held") << QStringList{"click:0", "key:PageDown", "key:Enter"} << false << "%FILE%"
                                          << "/home/ann/report.txt" << true;
    QTest::newRow("end-keeps-held") << QStringList{"click:1", "key:End", "key:Enter"} << false << "%USER%" << "ann"
                                    << true;
    QTest::newRow("close-box") << QStringList{"click:2", "close"} << true << "%DATE%" << "2024-05-01" << false;
}

void tst_frmPlaceholders::closingActions()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, cancel);
    QFETCH(QString, search);
    QFETCH(QString, replace);
    QFETCH(bool, stillLoaded);

    pick(steps);
    QCOMPARE(frmPlaceholders::Cancel(), cancel);
    QCOMPARE(frmPlaceholders::SearchString(), search);
    QCOMPARE(frmPlaceholders::ReplaceString(), replace);
    QCOMPARE(frmPlaceholders::instance() != nullptr, stillLoaded);
}

void tst_frmPlaceholders::secondShowingReturnsPreviousChoice()
{
    pick({QStringLiteral("click:2"), QStringLiteral("key:Enter")});
    frmPlaceholders::Unload();
    QCOMPARE(frmPlaceholders::Cancel(), false);
    pick({QStringLiteral("key:Enter")});
    QCOMPARE(frmPlaceholders::Cancel(), false);
    QCOMPARE(frmPlaceholders::SearchString(), QStringLiteral("%DATE%"));
}

void tst_frmPlaceholders::emptyTableClosesWithHeldChoice()
{
    pick({QStringLiteral("click:1"), QStringLiteral("key:Escape")});
    frmPlaceholders::Unload();
    m_apps = std::make_unique<ExternalApps>();
    pick({QStringLiteral("click:0"), QStringLiteral("key:Down"), QStringLiteral("key:Space")});
    QCOMPARE(listOf(frmPlaceholders::instance())->topLevelItemCount(), 0);
    QCOMPARE(frmPlaceholders::Cancel(), false);
    QCOMPARE(frmPlaceholders::SearchString(), QStringLiteral("%USER%"));
}

void tst_frmPlaceholders::headersFollowLanguageAtEachFill()
{
    frmPlaceholders *picker = frmPlaceholders::Load(nullptr);
    picker->setLaunchAppClass(m_apps.get());
    m_apps->setLanguage(Language::lGerman);
    picker->setLaunchAppClass(m_apps.get());
    QTreeWidget *list = listOf(picker);
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("DEU:Placeholder"));
    QCOMPARE(list->headerItem()->text(1), QStringLiteral("DEU:Example string"));
    // Caption and tooltip were taken when the window was loaded.
    QCOMPARE(picker->windowTitle(), QStringLiteral("Insert Placeholder"));
    frmPlaceholders::Unload();
    QCOMPARE(frmPlaceholders::Load(nullptr)->windowTitle(), QStringLiteral("DEU:Insert Placeholder"));
    m_apps->setLanguage(Language::lEnglish);
}

QTEST_MAIN(tst_frmPlaceholders)
#include "tst_frmplaceholders.moc"

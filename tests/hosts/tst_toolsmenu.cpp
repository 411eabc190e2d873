#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;

namespace {

struct Entry
{
    QString group;
    QString app;
    QString path;
    QString cmd;
    bool isProtected;
};

void fill(ExternalApps &apps, const QList<Entry> &entries)
{
    for (const Entry &e : entries)
        QVERIFY(apps.AddApp(e.group, e.app, e.path, e.cmd, e.isProtected));
}

/// The menu as lines "Group/App", or the text of a plain action, in menu order.
QStringList outline(const QMenu *menu)
{
    QStringList lines;
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            lines << u"--"_s;
        } else if (const QMenu *submenu = action->menu()) {
            for (const QAction *entry : submenu->actions())
                lines << submenu->title() + u'/' + entry->text();
        } else {
            lines << action->text();
        }
    }
    return lines;
}

QAction *entryAction(const QMenu *menu, const QString &group, const QString &app)
{
    for (const QAction *action : menu->actions()) {
        if (action->menu() && action->menu()->title() == group) {
            for (QAction *entry : action->menu()->actions()) {
                if (entry->text() == app)
                    return entry;
            }
        }
    }
    return nullptr;
}

const QString truePath = u"/bin/true"_s;

} // namespace

class TestToolsMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outline_data();
    void outline();
    void keepsHostActions();
    void rebuildsWhenProtectedShown();
    void destroyLeavesHostActions();
    void launch_data();
    void launch();
    void registersPlaceholdersBeforeLaunch();
    void rebuildFromInsideTrigger();
    void ownMenu();
};

void TestToolsMenu::outline_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<bool>("showProtected");
    QTest::addColumn<QStringList>("expected");

    const QList<Entry> mixed{
        {u"Text"_s, u"Count words"_s, truePath, u"%FILE%"_s, false},
        {u"Admin"_s, u"Shell"_s, truePath, {}, true},
        {u"Text"_s, u"Sort"_s, truePath, {}, true},
        {u"Files"_s, u"Open"_s, truePath, {}, false},
    };
    QTest::newRow("catalogue-order-protected-hidden")
        << mixed << false << QStringList{u"Text/Count words"_s, u"Files/Open"_s};
    QTest::newRow("protected-shown") << mixed << true
                                     << QStringList{u"Text/Count words"_s, u"Text/Sort"_s, u"Admin/Shell"_s,
                                                    u"Files/Open"_s};
    QTest::newRow("empty-catalogue") << QList<Entry>{} << false << QStringList{u"No tools configured"_s};
    QTest::newRow("everything-protected")
        << QList<Entry>{{u"Admin"_s, u"Shell"_s, truePath, {}, true}} << false
        << QStringList{u"No tools configured"_s};
    QTest::newRow("ampersand-is-no-mnemonic")
        << QList<Entry>{{u"R&D"_s, u"Build & test"_s, truePath, {}, false}} << false
        << QStringList{u"R&&D/Build && test"_s};
}

void TestToolsMenu::outline()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(bool, showProtected);
    QFETCH(QStringList, expected);

    ExternalApps apps;
    fill(apps, entries);
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    tools.setShowProtected(showProtected);
    QCOMPARE(::outline(&menu), expected);
}

void TestToolsMenu::keepsHostActions()
{
    ExternalApps apps;
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    menu.addSeparator();
    menu.addAction(u"Configure tools..."_s);
    QCOMPARE(::outline(&menu), (QStringList{u"No tools configured"_s, u"--"_s, u"Configure tools..."_s}));

    fill(apps, {{u"Text"_s, u"Sort"_s, truePath, {}, false}, {u"Files"_s, u"Open"_s, truePath, {}, false}});
    tools.rebuild();
    QCOMPARE(::outline(&menu),
             (QStringList{u"Text/Sort"_s, u"Files/Open"_s, u"--"_s, u"Configure tools..."_s}));

    apps.DeleteApp(u"Text"_s, u"Sort"_s);
    tools.rebuild();
    tools.rebuild();
    QCOMPARE(::outline(&menu), (QStringList{u"Files/Open"_s, u"--"_s, u"Configure tools..."_s}));
}

void TestToolsMenu::rebuildsWhenProtectedShown()
{
    ExternalApps apps;
    fill(apps, {{u"Admin"_s, u"Shell"_s, truePath, {}, true}});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    QVERIFY(!entryAction(&menu, u"Admin"_s, u"Shell"_s));
    tools.setShowProtected(true);
    QVERIFY(entryAction(&menu, u"Admin"_s, u"Shell"_s));
    tools.setShowProtected(false);
    QVERIFY(!entryAction(&menu, u"Admin"_s, u"Shell"_s));
}

void TestToolsMenu::destroyLeavesHostActions()
{
    ExternalApps apps;
    fill(apps, {{u"Text"_s, u"Sort"_s, truePath, {}, false}});
    QMenu menu;
    {
        ToolsMenu tools(&apps, &menu);
        menu.addAction(u"Configure tools..."_s);
    }
    QCOMPARE(::outline(&menu), QStringList{u"Configure tools..."_s});
}

void TestToolsMenu::launch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<bool>("deleteFirst");
    QTest::addColumn<bool>("expected");

    QTest::newRow("started") << truePath << u"--flag"_s << false << true;
    QTest::newRow("unbalanced-quote") << truePath << u"\"open"_s << false << false;
    QTest::newRow("entry-deleted-behind-the-menu") << truePath << QString() << true << false;
}

void TestToolsMenu::launch()
{
    QFETCH(QString, path);
    QFETCH(QString, cmd);
    QFETCH(bool, deleteFirst);
    QFETCH(bool, expected);

    ExternalApps apps;
    fill(apps, {{u"Tools"_s, u"Run"_s, path, cmd, false}});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    QSignalSpy launched(&tools, &ToolsMenu::launched);
    QSignalSpy finished(&apps, &ExternalApps::AppFinished);
    QAction *action = entryAction(&menu, u"Tools"_s, u"Run"_s);
    QVERIFY(action);
    if (deleteFirst)
        apps.DeleteApp(u"Tools"_s, u"Run"_s);

    action->trigger();
    QCOMPARE(launched.size(), 1);
    QCOMPARE(launched.at(0), (QVariantList{u"Tools"_s, u"Run"_s, expected}));
    QCOMPARE(finished.size(), expected ? 1 : 0);
}

void TestToolsMenu::registersPlaceholdersBeforeLaunch()
{
    ExternalApps apps;
    fill(apps, {{u"Tools"_s, u"Run"_s, truePath, u"%LINE%"_s, false}});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    QStringList seen;
    connect(&tools, &ToolsMenu::aboutToLaunch, this, [&](const QString &group, const QString &app) {
        apps.AddPlaceHolder(u"%LINE%"_s, u"42"_s);
        seen << group + u'/' + app;
    });
    connect(&apps, &ExternalApps::AppFinished, this, [&] {
        const std::optional<Lanyard::LaunchCommand> command = apps.launchCommand(u"Tools"_s, u"Run"_s);
        seen << (command ? command->arguments.join(u' ') : u"(none)"_s);
    });
    entryAction(&menu, u"Tools"_s, u"Run"_s)->trigger();
    QCOMPARE(seen, (QStringList{u"Tools/Run"_s, u"42"_s}));
}

void TestToolsMenu::rebuildFromInsideTrigger()
{
    ExternalApps apps;
    fill(apps, {{u"Tools"_s, u"Run"_s, truePath, {}, false}});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    connect(&tools, &ToolsMenu::aboutToLaunch, &tools, &ToolsMenu::rebuild);
    connect(&tools, &ToolsMenu::launched, &tools, &ToolsMenu::rebuild);
    QSignalSpy launched(&tools, &ToolsMenu::launched);
    entryAction(&menu, u"Tools"_s, u"Run"_s)->trigger();
    QCOMPARE(launched.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(entryAction(&menu, u"Tools"_s, u"Run"_s));
}

void TestToolsMenu::ownMenu()
{
    ExternalApps apps;
    fill(apps, {{u"Tools"_s, u"Run"_s, truePath, {}, false}});
    ToolsMenu tools(&apps, u"&Tools"_s);
    QVERIFY(tools.menu());
    QCOMPARE(tools.menu()->title(), u"&Tools"_s);
    QCOMPARE(::outline(tools.menu()), QStringList{u"Tools/Run"_s});
    QCOMPARE(tools.externalApps(), &apps);
}

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"

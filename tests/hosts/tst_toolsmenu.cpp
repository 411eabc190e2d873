// SPDX-License-Identifier: MIT
// ToolsMenu: the menu it builds from a catalogue, its rebuilds, and the launches its actions make.
#include "ui/ModalDriver.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;

namespace {

/// Adds "Group/App" entries starting /bin/true; a leading '!' marks a protected one.
void fill(ExternalApps &apps, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const bool isProtected = entry.startsWith(u'!');
        const QStringList names = entry.mid(isProtected ? 1 : 0).split(u'/');
        QVERIFY(apps.AddApp(names[0], names[1], u"/bin/true"_s, QString(), isProtected));
    }
}

/// The menu as lines "Group/App", "--" for a separator or the text of a plain action, in menu order.
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

struct OutlineRow
{
    QStringList entries;
    bool showProtected = false;
    QStringList expected;
};
struct LaunchRow
{
    QString cmd;
    bool deleteFirst = false, started = false;
};
/// Who is deleted first, and whether both are children of one main window, created in that order.
struct DeletionRow
{
    bool catalogueFirst = false, childrenOfOneWindow = false;
};

} // namespace

Q_DECLARE_METATYPE(OutlineRow)
Q_DECLARE_METATYPE(LaunchRow)
Q_DECLARE_METATYPE(DeletionRow)

class TestToolsMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outline_data();
    void outline();
    void rebuildReplacesOnlyItsEntries();
    void launch_data();
    void launch();
    void shortcutKeptAcrossRenamesInTheWindow();
    void eitherDeletionOrder_data();
    void eitherDeletionOrder();
    void emptyTextInTheCatalogueLanguage_data();
    void emptyTextInTheCatalogueLanguage();
};

void TestToolsMenu::outline_data()
{
    QTest::addColumn<OutlineRow>("row");
    const QStringList mixed{u"Text/Count words"_s, u"!Admin/Shell"_s, u"!Text/Sort"_s, u"Files/Open"_s};
    const QStringList five{u"A/a"_s, u"B/b"_s, u"C/c"_s, u"D/d"_s, u"E/e"_s};
    QTest::newRow("catalogue-order-protected-hidden")
        << OutlineRow{mixed, false, {u"Text/Count words"_s, u"Files/Open"_s}};
    QTest::newRow("protected-shown")
        << OutlineRow{mixed, true, {u"Text/Count words"_s, u"Text/Sort"_s, u"Admin/Shell"_s, u"Files/Open"_s}};
    QTest::newRow("every-group-slot-used") << OutlineRow{five, false, five};
    QTest::newRow("ampersand-is-no-mnemonic") << OutlineRow{{u"R&D/Build & test"_s}, false, {u"R&&D/Build && test"_s}};
}

void TestToolsMenu::outline()
{
    QFETCH(OutlineRow, row);
    ExternalApps apps;
    fill(apps, row.entries);
    ToolsMenu tools(&apps, u"&Tools"_s);
    tools.setShowProtected(row.showProtected);
    QCOMPARE(::outline(tools.menu()), row.expected);
}

void TestToolsMenu::rebuildReplacesOnlyItsEntries()
{
    ExternalApps apps;
    QMenu menu;
    auto tools = std::make_unique<ToolsMenu>(&apps, &menu);
    menu.addSeparator();
    menu.addAction(u"Configure tools..."_s);
    const QStringList host{u"--"_s, u"Configure tools..."_s};
    QCOMPARE(::outline(&menu), QStringList{u"No tools configured"_s} + host);

    // The menu follows the catalogue's changes by itself.
    fill(apps, {u"Text/Sort"_s, u"!Admin/Shell"_s, u"50% off/Deal"_s});
    QCOMPARE(::outline(&menu), (QStringList{u"Text/Sort"_s, u"50% off/Deal"_s} + host));
    // A host's shortcut on an entry survives rebuilds that keep the entry.
    tools->setShowProtected(true);
    QCOMPARE(::outline(&menu), (QStringList{u"Text/Sort"_s, u"Admin/Shell"_s, u"50% off/Deal"_s} + host));
    QAction *shell = menu.findChild<QAction *>(u"lanyard-tool/Admin/Shell"_s);
    QVERIFY(shell);
    shell->setShortcut(QKeySequence(u"Ctrl+Alt+S"_s));
    apps.DeleteApp(u"50% off"_s, u"Deal"_s);
    apps.DeleteApp(u"Text"_s, u"Sort"_s);
    QCOMPARE(::outline(&menu), QStringList{u"Admin/Shell"_s} + host);
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Admin/Shell"_s), shell);
    QCOMPARE(shell->shortcut(), QKeySequence(u"Ctrl+Alt+S"_s));
    tools.reset();
    QCOMPARE(::outline(&menu), host);
}

void TestToolsMenu::launch_data()
{
    QTest::addColumn<LaunchRow>("row");
    QTest::newRow("started") << LaunchRow{u"--flag"_s, false, true};
    QTest::newRow("unbalanced-quote") << LaunchRow{u"\"open"_s, false, false};
    QTest::newRow("entry-deleted-while-launching") << LaunchRow{QString(), true, false};
}

void TestToolsMenu::launch()
{
    QFETCH(LaunchRow, row);
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Run"_s, u"/bin/true"_s, row.cmd, false));
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    QAction *action = menu.actions().constFirst()->menu()->actions().constFirst();
    QVERIFY(!menu.actions().constFirst()->icon().isNull()); // the group's
    QCOMPARE(action->icon().cacheKey(), apps.Icon(u"Tools"_s, 0).cacheKey());

    // A host rebuilding from these signals deletes the triggered action while it is in use; one
    // deleting the entry there makes the menu rebuild itself, and the launch fails.
    QStringList events;
    connect(&tools, &ToolsMenu::aboutToLaunch, &tools, [&](const QString &group, const QString &app) {
        events << group + u'/' + app;
        tools.rebuild();
        if (row.deleteFirst)
            apps.DeleteApp(group, app);
    });
    connect(&tools, &ToolsMenu::launched, &tools, [&](const QString &group, const QString &app, bool ok) {
        events << group + u'/' + app + (ok ? u" started"_s : u" not started"_s);
        tools.rebuild();
    });
    // The host's values are asked for after aboutToLaunch, right before the start.
    connect(&apps, &ExternalApps::placeholdersWanted, &tools, [&] { events << u"placeholders"_s; });
    QSignalSpy finished(&apps, &ExternalApps::AppFinished);
    action->trigger();
    QCOMPARE(events, (QStringList{u"Tools/Run"_s, u"placeholders"_s,
                                  row.started ? u"Tools/Run started"_s : u"Tools/Run not started"_s}));
    QCOMPARE(finished.size(), row.started ? 1 : 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(::outline(&menu), QStringList{row.deleteFirst ? u"No tools configured"_s : u"Tools/Run"_s});
}

// The host gives Editor a shortcut; the user renames it, then moves it, in the program list
// window, while the host rebuilds on every change: the action, and its shortcut, stay.
void TestToolsMenu::shortcutKeptAcrossRenamesInTheWindow()
{
    ExternalApps apps;
    fill(apps, {u"Tools/Editor"_s, u"Tools/Shell"_s});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    connect(&apps, &ExternalApps::catalogueChanged, &tools, &ToolsMenu::rebuild);
    QAction *editor = menu.findChild<QAction *>(u"lanyard-tool/Tools/Editor"_s);
    QVERIFY(editor);
    editor->setShortcut(QKeySequence(u"Ctrl+Alt+E"_s));
    apps.ShowForm();
    QWidget *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        window = widget->objectName() == u"frmEditApps"_s ? widget : window;
    QVERIFY(window);
    auto *tree = window->findChild<QTreeWidget *>(u"tvGroup"_s);
    const auto edit = [&](const QString &entry, const QStringList &steps) {
        UiTest::clickItem(UiTest::itemOf(tree, entry));
        UiTest::whenModalShown(u"frmNewApp"_s,
                               [&](QWidget *dialog) { UiTest::play(dialog, steps + QStringList{u"click:cmdOK"_s}); });
        QTest::mouseClick(window->findChild<QPushButton *>(u"cmdEdit"_s), Qt::LeftButton);
    };
    edit(u"Editor"_s, {u"focus:txtAppName"_s, u"key:Ctrl+A"_s, u"type:Editor (vi)"_s});
    QCOMPARE(::outline(&menu), (QStringList{u"Tools/Editor (vi)"_s, u"Tools/Shell"_s}));
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Tools/Editor (vi)"_s), editor);
    edit(u"Editor (vi)"_s, {u"focus:cboGroup"_s, u"key:Ctrl+A"_s, u"type:Text"_s});
    QCOMPARE(::outline(&menu), (QStringList{u"Tools/Shell"_s, u"Text/Editor (vi)"_s}));
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Text/Editor (vi)"_s), editor);
    QCOMPARE(editor->shortcut(), QKeySequence(u"Ctrl+Alt+E"_s));
    // The action launches the entry under its new names.
    QSignalSpy launching(&tools, &ToolsMenu::aboutToLaunch);
    editor->trigger();
    QCOMPARE(launching.value(0), (QVariantList{u"Text"_s, u"Editor (vi)"_s}));
    apps.HideForm();
}

void TestToolsMenu::eitherDeletionOrder_data()
{
    QTest::addColumn<DeletionRow>("row");
    QTest::newRow("menu-first") << DeletionRow{false, false};
    QTest::newRow("catalogue-first") << DeletionRow{true, false};
    // Qt deletes a window's children in the order they were created.
    QTest::newRow("window-children-menu-created-first") << DeletionRow{false, true};
    QTest::newRow("window-children-catalogue-created-first") << DeletionRow{true, true};
}

// Whichever goes first, the other stays usable; with the catalogue gone the menu keeps only the
// host's actions, and the menu's members and a stale action do nothing (the sanitizer build
// catches a use after free).
void TestToolsMenu::eitherDeletionOrder()
{
    QFETCH(DeletionRow, row);
    auto window = std::make_unique<QMainWindow>();
    QPointer<QMenu> menu = new QMenu(u"&Tools"_s);
    QPointer<ExternalApps> apps;
    QPointer<ToolsMenu> tools;
    apps = new ExternalApps;
    fill(*apps, {u"Text/Sort"_s, u"!Admin/Shell"_s});
    tools = new ToolsMenu(apps, menu);
    if (row.childrenOfOneWindow) {
        // The order of the children list is the order they got their parent in.
        QObject *first = row.catalogueFirst ? static_cast<QObject *>(apps) : tools;
        QObject *second = row.catalogueFirst ? static_cast<QObject *>(tools) : apps;
        first->setParent(window.get());
        second->setParent(window.get());
        QCOMPARE(window->children().indexOf(first) < window->children().indexOf(second), true);
    }
    // The menu goes last, so that the entries of whichever goes first leave a live menu.
    menu->setParent(window.get(), menu->windowFlags());
    window->menuBar()->addMenu(menu);
    menu->addAction(u"Configure tools..."_s);
    QCOMPARE(::outline(menu), (QStringList{u"Text/Sort"_s, u"Configure tools..."_s}));
    QPointer<QAction> sort = menu->findChild<QAction *>(u"lanyard-tool/Text/Sort"_s);
    QVERIFY(sort);
    QSignalSpy launching(tools.data(), &ToolsMenu::aboutToLaunch);

    if (row.childrenOfOneWindow) {
        QStringList whenToolsWent;
        connect(tools, &QObject::destroyed, menu, [&] { whenToolsWent = ::outline(menu); });
        window.reset();
        QVERIFY(!apps && !tools && !menu);
        QCOMPARE(whenToolsWent, QStringList{u"Configure tools..."_s});
        return;
    }
    if (!row.catalogueFirst) {
        delete tools;
        QCOMPARE(::outline(menu), QStringList{u"Configure tools..."_s});
        apps->AddApp(u"Text"_s, u"Count"_s, u"/bin/true"_s, QString(), false);
        delete apps;
        return;
    }
    delete apps;
    QCOMPARE(::outline(menu), QStringList{u"Configure tools..."_s});
    QVERIFY(!tools->externalApps());
    tools->rebuild();
    tools->setShowProtected(true);
    tools->setEmptyText(u"Nothing"_s);
    QCOMPARE(::outline(menu), QStringList{u"Configure tools..."_s});
    if (sort)
        sort->trigger(); // taken out of the menu, deleted once control is back in the event loop
    QCOMPARE(launching.size(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!sort);
    delete tools;
    QCOMPARE(::outline(menu), QStringList{u"Configure tools..."_s});
}

void TestToolsMenu::emptyTextInTheCatalogueLanguage_data()
{
    QTest::addColumn<Lanyard::Language>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("en") << Lanyard::Language::lEnglish << u"No tools configured"_s;
    QTest::newRow("de") << Lanyard::Language::lGerman << u"DEU:No tools configured"_s;
    QTest::newRow("fr") << Lanyard::Language::lFrench << u"FRA:No tools configured"_s;
}

void TestToolsMenu::emptyTextInTheCatalogueLanguage()
{
    QFETCH(Lanyard::Language, language);
    QFETCH(QString, text);
    ExternalApps apps;
    apps.setLanguage(language);
    ToolsMenu tools(&apps, u"&Tools"_s);
    QCOMPARE(::outline(tools.menu()), QStringList{text});
    tools.setEmptyText(u"Nothing here"_s);
    QCOMPARE(::outline(tools.menu()), QStringList{u"Nothing here"_s});
}

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"

// SPDX-License-Identifier: MIT
// ToolsMenu: the menu it builds from a catalogue, its rebuilds, the launches its actions make,
// and the runs whose output comes back to the host.
#include "common/ProcessCensus.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ComponentError.h>
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QClipboard>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;
using OutputMode = ToolsMenu::OutputMode;

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

/// A host's editor: a document with its cursor, an output pane and the new documents it opened.
/// Its selection hook gives the selection with line breaks as "\n" (QTextCursor writes U+2029),
/// or the whole text when nothing is selected.
struct FakeEditor
{
    QPlainTextEdit document;
    QPlainTextEdit pane;
    QStringList newDocuments;

    QString selection() const
    {
        const QTextCursor cursor = document.textCursor();
        return cursor.hasSelection() ? cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n')
                                     : document.toPlainText();
    }
    void take(OutputMode mode, const QString &text)
    {
        QTextCursor cursor = document.textCursor();
        switch (mode) {
        case OutputMode::InsertAtCursor:
            cursor.setPosition(cursor.position());
            cursor.insertText(text);
            break;
        case OutputMode::ReplaceSelection:
            if (!cursor.hasSelection())
                cursor.select(QTextCursor::Document);
            cursor.insertText(text);
            break;
        case OutputMode::NewDocument:
            newDocuments << text;
            break;
        case OutputMode::Pane:
            pane.setPlainText(text);
            break;
        case OutputMode::Ignore:
        case OutputMode::Clipboard:
            QFAIL("ToolsMenu handles these itself");
        }
    }
    void hookUp(ToolsMenu &tools)
    {
        tools.setDocumentHooks([this] { return selection(); },
                               [this](OutputMode mode, const QString &text) { take(mode, text); });
    }
    /// Selects @p length characters from @p start (none: the cursor stands at @p start).
    void select(int start, int length)
    {
        QTextCursor cursor(document.document());
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        document.setTextCursor(cursor);
    }
};

struct OutputRow
{
    QString path, cmd;
    OutputMode mode;
    bool input = false;
    QString document, after; // the document before and after the run
    int selectionStart = 0, selectionLength = 0;
    QStringList pane, newDocuments; // pane: its lines, sorted (the two streams race)
    QString clipboard;
    int exitCode = 0;
    QString failure; // runFailed's reason
};

} // namespace

Q_DECLARE_METATYPE(OutputRow)

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
    void actionAndModeKeptAcrossRenamesInTheWindow();
    void eitherDeletionOrder_data();
    void eitherDeletionOrder();
    void deletedWhileAboutToLaunch_data();
    void deletedWhileAboutToLaunch();
    void emptyTextInTheCatalogueLanguage_data();
    void emptyTextInTheCatalogueLanguage();
    void outputGoesWhereItsModeSays_data();
    void outputGoesWhereItsModeSays();
    void actionAndModeFollowEditApp_data();
    void actionAndModeFollowEditApp();
    void actionOutlivesTheGroupItLeft();
    void refusedMoveThenAnother();
    void modesSavedAndLoaded_data();
    void modesSavedAndLoaded();
    void runEndsWithTheMenu_data();
    void runEndsWithTheMenu();
};

void TestToolsMenu::outline_data()
{
    QTest::addColumn<OutlineRow>("row");
    const QStringList mixed{u"Text/Count words"_s, u"!Admin/Shell"_s, u"!Text/Sort"_s, u"Text/Upper"_s,
                            u"Files/Open"_s};
    const QStringList five{u"A/a"_s, u"B/b"_s, u"C/c"_s, u"D/d"_s, u"E/e"_s};
    QTest::newRow("catalogue-order-protected-hidden")
        << OutlineRow{mixed, false, {u"Text/Count words"_s, u"Text/Upper"_s, u"Files/Open"_s}};
    QTest::newRow("protected-shown") << OutlineRow{
        mixed,
        true,
        {u"Text/Count words"_s, u"Text/Sort"_s, u"Text/Upper"_s, u"Admin/Shell"_s, u"Files/Open"_s}};
    QTest::newRow("every-group-slot-used") << OutlineRow{five, false, five};
    QTest::newRow("ampersand-is-no-mnemonic") << OutlineRow{{u"R&D/Build & test"_s}, false, {u"R&&D/Build && test"_s}};
}

void TestToolsMenu::outline()
{
    QFETCH(OutlineRow, row);
    ExternalApps apps;
    fill(apps, row.entries);
    ToolsMenu tools(&apps, u"&Tools"_s);
    const QSignalSpy told(&tools, &ToolsMenu::showProtectedChanged);
    tools.setShowProtected(row.showProtected);
    QCOMPARE(told.count(), row.showProtected ? 1 : 0);
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
    QVERIFY(!menu.actions().constFirst()->isEnabled()); // nothing to choose

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

// The host gives Editor a shortcut and an output mode; the user renames it, then moves it, in
// the program list window, while the host rebuilds on every change: the action, its shortcut
// and its mode stay; the old names have no mode.
void TestToolsMenu::actionAndModeKeptAcrossRenamesInTheWindow()
{
    ExternalApps apps;
    fill(apps, {u"Tools/Editor"_s, u"Tools/Shell"_s});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    connect(&apps, &ExternalApps::catalogueChanged, &tools, &ToolsMenu::rebuild);
    QAction *editor = menu.findChild<QAction *>(u"lanyard-tool/Tools/Editor"_s);
    QVERIFY(editor);
    editor->setShortcut(QKeySequence(u"Ctrl+Alt+E"_s));
    tools.setOutputMode(u"Tools"_s, u"Editor"_s, OutputMode::ReplaceSelection);
    tools.setSelectionAsInput(u"Tools"_s, u"Editor"_s, true);
    tools.setOutputMode(u"Tools"_s, u"Shell"_s, OutputMode::Pane);
    const auto handling = [&](const QString &group, const QString &app) {
        return std::pair{tools.outputMode(group, app), tools.selectionAsInput(group, app)};
    };
    const std::pair replacing{OutputMode::ReplaceSelection, true}, none{OutputMode::Ignore, false};
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
    QCOMPARE(handling(u"Tools"_s, u"Editor (vi)"_s), replacing);
    QCOMPARE(handling(u"Tools"_s, u"Editor"_s), none);
    edit(u"Editor (vi)"_s, {u"focus:cboGroup"_s, u"key:Ctrl+A"_s, u"type:Text"_s});
    QCOMPARE(::outline(&menu), (QStringList{u"Tools/Shell"_s, u"Text/Editor (vi)"_s}));
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Text/Editor (vi)"_s), editor);
    QCOMPARE(editor->shortcut(), QKeySequence(u"Ctrl+Alt+E"_s));
    QCOMPARE(handling(u"Text"_s, u"Editor (vi)"_s), replacing);
    QCOMPARE(handling(u"Tools"_s, u"Editor (vi)"_s), none);
    QCOMPARE(handling(u"Tools"_s, u"Shell"_s), std::pair(OutputMode::Pane, false));
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

void TestToolsMenu::deletedWhileAboutToLaunch_data()
{
    QTest::addColumn<bool>("menuGoes");
    QTest::addColumn<OutputMode>("mode");
    QTest::newRow("catalogue-of-a-launch") << false << OutputMode::Ignore;
    QTest::newRow("catalogue-of-a-run") << false << OutputMode::Pane;
    QTest::newRow("menu-of-a-launch") << true << OutputMode::Ignore;
    QTest::newRow("menu-of-a-run") << true << OutputMode::Pane;
}

// A host's handler of aboutToLaunch may delete the catalogue or the menu: nothing starts and
// nothing more is told (the sanitizer build catches a use after free).
void TestToolsMenu::deletedWhileAboutToLaunch()
{
    QFETCH(bool, menuGoes);
    QFETCH(OutputMode, mode);
    QPointer<ExternalApps> apps = new ExternalApps;
    fill(*apps, {u"Text/Sort"_s});
    QMenu menu;
    QPointer<ToolsMenu> tools = new ToolsMenu(apps, &menu);
    tools->setOutputMode(u"Text"_s, u"Sort"_s, mode);
    QSignalSpy finished(apps.data(), &ExternalApps::AppFinished);
    QStringList told;
    connect(tools, &ToolsMenu::aboutToLaunch, &menu, [&] {
        if (menuGoes)
            delete tools;
        else
            delete apps;
    });
    connect(tools, &ToolsMenu::launched, &menu, [&] { told << u"launched"_s; });
    connect(tools, &ToolsMenu::runFailed, &menu, [&] { told << u"runFailed"_s; });
    connect(tools, &ToolsMenu::runFinished, &menu, [&] { told << u"runFinished"_s; });
    menu.findChild<QAction *>(u"lanyard-tool/Text/Sort"_s)->trigger();
    QCOMPARE(told, QStringList());
    QCOMPARE(finished.size(), 0);
    delete tools;
    delete apps;
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

void TestToolsMenu::outputGoesWhereItsModeSays_data()
{
    QTest::addColumn<OutputRow>("row");
    const QString tr = u"/usr/bin/tr"_s, printf = u"/usr/bin/printf"_s, sh = u"/bin/sh"_s;
    const QString mixed = u"-c 'echo out; echo err >&2; exit 3'"_s;
    QTest::newRow("replace-selection-through-stdin")
        << OutputRow{tr, u"a-z A-Z"_s, OutputMode::ReplaceSelection, true, u"x abc y"_s, u"x ABC y"_s, 2, 3};
    QTest::newRow("replace-lines-keeps-their-last-break")
        << OutputRow{u"/usr/bin/sort"_s, {}, OutputMode::ReplaceSelection, true, u"b\na\nc"_s, u"a\nb\nc"_s};
    QTest::newRow("insert-at-cursor-leaves-the-selection")
        << OutputRow{printf, u"'X\\n'"_s, OutputMode::InsertAtCursor, false, u"abc def"_s, u"abc Xdef"_s, 0, 4};
    QTest::newRow("new-document-whole") << OutputRow{
        printf, u"'X\\n'"_s, OutputMode::NewDocument, false, u"abc"_s, u"abc"_s, 0, 0, {}, {u"X\n"_s}};
    QTest::newRow("clipboard") << OutputRow{
        tr, u"a-z A-Z"_s, OutputMode::Clipboard, true, u"abc def"_s, u"abc def"_s, 4, 3, {}, {}, u"DEF"_s};
    QTest::newRow("pane-both-streams-whatever-the-status")
        << OutputRow{sh, mixed, OutputMode::Pane, false, u"abc"_s, u"abc"_s, 0, 0, {u"err"_s, u"out"_s}, {}, {}, 3};
    QTest::newRow("ignore-with-input") << OutputRow{tr, u"a-z A-Z"_s, OutputMode::Ignore, true, u"abc"_s, u"abc"_s, 0,
                                                    3};
    QTest::newRow("failing-status-changes-nothing")
        << OutputRow{sh, mixed, OutputMode::ReplaceSelection, true, u"abc"_s, u"abc"_s, 0, 3, {}, {}, {}, 3, u"err"_s};
    QTest::newRow("failing-status-silent") << OutputRow{
        u"/bin/false"_s,          {}, OutputMode::NewDocument, false, u"abc"_s, u"abc"_s, 0, 0, {}, {}, {}, 1,
        u"exited with status 1"_s};
    QTest::newRow("missing-program") << OutputRow{u"/nonexistent/tool"_s,
                                                  {},
                                                  OutputMode::Pane,
                                                  false,
                                                  u"abc"_s,
                                                  u"abc"_s,
                                                  0,
                                                  0,
                                                  {},
                                                  {},
                                                  {},
                                                  -1,
                                                  u"Unable to find the file: /nonexistent/tool"_s};
}

void TestToolsMenu::outputGoesWhereItsModeSays()
{
    QFETCH(OutputRow, row);
    ExternalApps apps;
    apps.setShowMissingProgram(false);
    QVERIFY(apps.AddApp(u"Text"_s, u"Tool"_s, row.path, row.cmd, false));
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    FakeEditor editor;
    editor.hookUp(tools);
    editor.document.setPlainText(row.document);
    editor.select(row.selectionStart, row.selectionLength);
    tools.setOutputMode(u"Text"_s, u"Tool"_s, row.mode);
    tools.setSelectionAsInput(u"Text"_s, u"Tool"_s, row.input);
    QGuiApplication::clipboard()->setText(u"before"_s);

    QSignalSpy launched(&tools, &ToolsMenu::launched);
    QSignalSpy finished(&tools, &ToolsMenu::runFinished);
    QSignalSpy failed(&tools, &ToolsMenu::runFailed);
    menu.findChild<QAction *>(u"lanyard-tool/Text/Tool"_s)->trigger();
    const bool started = row.exitCode >= 0;
    QTRY_VERIFY_WITH_TIMEOUT(started ? finished.size() == 1 : failed.size() == 1, 10000);
    QCOMPARE(launched.size(), 0); // ExecuteApp's signal: not for a run
    if (started)
        QCOMPARE(finished.value(0), (QVariantList{u"Text"_s, u"Tool"_s, row.exitCode}));
    QCOMPARE(failed.value(0).value(2).toString(), row.failure);
    QCOMPARE(editor.document.toPlainText(), row.after);
    QStringList pane = editor.pane.toPlainText().split(u'\n', Qt::SkipEmptyParts);
    pane.sort();
    QCOMPARE(pane, row.pane);
    QCOMPARE(editor.newDocuments, row.newDocuments);
    QCOMPARE(QGuiApplication::clipboard()->text(), row.clipboard.isEmpty() ? u"before"_s : row.clipboard);
}

void TestToolsMenu::actionAndModeFollowEditApp_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("app");
    QTest::addColumn<bool>("refused");
    QTest::newRow("rename") << u"Tools"_s << u"Sort lines"_s << false;
    QTest::newRow("move") << u"Text"_s << u"Sort"_s << false;
    QTest::newRow("move-into-a-full-group") << u"Full"_s << u"Sort"_s << true;
    QTest::newRow("name-the-list-cannot-hold") << u"Tools"_s << u"Sort, uniq"_s << true;
}

// The host renames or moves an entry itself; a move the catalogue refuses leaves it, with its
// action and mode, where it was.
void TestToolsMenu::actionAndModeFollowEditApp()
{
    QFETCH(QString, group);
    QFETCH(QString, app);
    QFETCH(bool, refused);
    ExternalApps apps;
    apps.setMaxApps(2);
    fill(apps, {u"Tools/Sort"_s, u"Tools/Count"_s, u"Full/Other"_s, u"Full/Another"_s});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    connect(&apps, &ExternalApps::catalogueChanged, &tools, &ToolsMenu::rebuild);
    QAction *action = menu.findChild<QAction *>(u"lanyard-tool/Tools/Sort"_s);
    tools.setOutputMode(u"Tools"_s, u"Sort"_s, OutputMode::ReplaceSelection);
    tools.setOutputMode(u"Tools"_s, u"Count"_s, OutputMode::NewDocument);
    try {
        apps.EditApp(u"Tools"_s, u"Sort"_s, group, app, false);
    } catch (const Lanyard::ComponentError &) {
        QVERIFY(refused);
    }
    const QString nowGroup = refused ? u"Tools"_s : group, nowApp = refused ? u"Sort"_s : app;
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/"_s + nowGroup + u'/' + nowApp), action);
    QCOMPARE(tools.outputMode(nowGroup, nowApp), OutputMode::ReplaceSelection);
    if (!refused)
        QCOMPARE(tools.outputMode(u"Tools"_s, u"Sort"_s), OutputMode::Ignore);
    // The next rename is followed too, whatever became of this one.
    apps.EditApp(u"Tools"_s, u"Count"_s, u"Tools"_s, u"Count words"_s, false);
    QCOMPARE(tools.outputMode(u"Tools"_s, u"Count words"_s), OutputMode::NewDocument);
    QCOMPARE(tools.outputMode(nowGroup, nowApp), OutputMode::ReplaceSelection);
}

// An entry moved out of a group it was alone in: the group's submenu goes, the action it had
// lives on in the entry's new group.
void TestToolsMenu::actionOutlivesTheGroupItLeft()
{
    ExternalApps apps;
    fill(apps, {u"Tools/Sort"_s, u"Text/Count"_s});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    const QPointer<QAction> action = menu.findChild<QAction *>(u"lanyard-tool/Tools/Sort"_s);
    QVERIFY(action);
    apps.EditApp(u"Tools"_s, u"Sort"_s, u"Text"_s, u"Sort"_s, false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(::outline(&menu), (QStringList{u"Text/Count"_s, u"Text/Sort"_s}));
    QVERIFY(action);
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Text/Sort"_s), action.data());
}

// A host that holds the catalogue's signals back over a few changes, then rebuilds: a move the
// catalogue refused, then the same entry moved elsewhere. The action and its mode go where the
// entry went, not where the refused move would have put it.
void TestToolsMenu::refusedMoveThenAnother()
{
    ExternalApps apps;
    apps.setMaxApps(2);
    fill(apps, {u"Tools/Sort"_s, u"Full/Other"_s, u"Full/Another"_s});
    QMenu menu;
    ToolsMenu tools(&apps, &menu);
    QAction *action = menu.findChild<QAction *>(u"lanyard-tool/Tools/Sort"_s);
    tools.setOutputMode(u"Tools"_s, u"Sort"_s, OutputMode::ReplaceSelection);
    {
        const QSignalBlocker batch(apps);
        apps.EditApp(u"Tools"_s, u"Sort"_s, u"Full"_s, u"Sort"_s, false);
        apps.EditApp(u"Tools"_s, u"Sort"_s, u"Text"_s, u"Sort"_s, false);
    }
    tools.rebuild();
    QCOMPARE(::outline(&menu), (QStringList{u"Full/Other"_s, u"Full/Another"_s, u"Text/Sort"_s}));
    QCOMPARE(menu.findChild<QAction *>(u"lanyard-tool/Text/Sort"_s), action);
    QCOMPARE(tools.outputMode(u"Text"_s, u"Sort"_s), OutputMode::ReplaceSelection);
}

void TestToolsMenu::modesSavedAndLoaded_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("app");
    QTest::newRow("plain") << u"Text"_s << u"Sort"_s;
    QTest::newRow("slash-percent-backslash") << u"a/b"_s << u"50% \\ off"_s;
    QTest::newRow("empty-group") << QString() << u"Sort"_s;
    QTest::newRow("empty-name") << u"Text"_s << QString();
    QTest::newRow("ini-words") << u"General"_s << u"[x]=y;z"_s;
    QTest::newRow("not-ascii") << u"Gr\u00fc\u00dfe"_s << u"\u00e9t\u00e9 \u2603"_s;
}

// Saved into a settings file of their own, read back by a new menu: the modes of the entries
// that exist, and none of the entries gone, of the group's earlier keys or of deeper keys.
void TestToolsMenu::modesSavedAndLoaded()
{
    QFETCH(QString, group);
    QFETCH(QString, app);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(u"host.ini"_s);
    ExternalApps apps;
    QVERIFY(apps.AddApp(group, app, u"/bin/true"_s, QString(), false));
    QVERIFY(apps.AddApp(u"Other"_s, u"Pane"_s, u"/bin/true"_s, QString(), true));
    QVERIFY(apps.AddApp(u"Other"_s, u"Plain"_s, u"/bin/true"_s, QString(), false));
    {
        ToolsMenu tools(&apps, u"&Tools"_s);
        tools.setOutputMode(group, app, OutputMode::NewDocument);
        tools.setSelectionAsInput(group, app, true);
        tools.setOutputMode(u"Other"_s, u"Pane"_s, OutputMode::Pane); // hidden: protected
        tools.setOutputMode(u"Gone"_s, u"Away"_s, OutputMode::Clipboard);
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(u"outside"_s, 1);
        settings.beginGroup(u"tools"_s);
        settings.setValue(u"Earlier/Key"_s, u"Pane"_s);
        tools.saveModes(settings);
    }
    QSettings settings(file, QSettings::IniFormat);
    QCOMPARE(settings.value(u"outside"_s).toInt(), 1);
    settings.beginGroup(u"tools"_s);
    QCOMPARE(settings.allKeys().size(), 2);
    // A key deeper than group and entry is no mode of ours: a hand's or another version's.
    settings.setValue(u"Other/Plain/deeper"_s, u"Pane"_s);
    ToolsMenu tools(&apps, u"&Tools"_s);
    tools.setOutputMode(u"Other"_s, u"Plain"_s, OutputMode::Clipboard); // replaced by the loaded ones
    tools.loadModes(settings);
    QCOMPARE(tools.outputMode(group, app), OutputMode::NewDocument);
    QVERIFY(tools.selectionAsInput(group, app));
    QCOMPARE(tools.outputMode(u"Other"_s, u"Pane"_s), OutputMode::Pane);
    QVERIFY(!tools.selectionAsInput(u"Other"_s, u"Pane"_s));
    QCOMPARE(tools.outputMode(u"Other"_s, u"Plain"_s), OutputMode::Ignore);
    QCOMPARE(tools.outputMode(u"Gone"_s, u"Away"_s), OutputMode::Ignore);
}

void TestToolsMenu::runEndsWithTheMenu_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("menu-deleted") << u"menu"_s;
    QTest::newRow("catalogue-deleted") << u"catalogue"_s;
    QTest::newRow("picked-again") << u"pick"_s;
    QTest::newRow("menu-deleted-after-another-run-ended") << u"other"_s;
}

// A run that waits forever (on input "slow") ends with the menu, with the catalogue, or when its
// entry is picked again, with what it started; the second run delivers, the first nothing. The
// end of another tool's run meanwhile changes none of that.
void TestToolsMenu::runEndsWithTheMenu()
{
    QFETCH(QString, end);
    const bool pickAgain = end == u"pick";
    // Told apart from the same test running elsewhere on the machine by this process's number.
    const QString sleep = u"sleep 1000.%1"_s.arg(QCoreApplication::applicationPid());
    const QString script = u"read x; [ \"$x\" = slow ] && "_s + sleep + u"; echo \"$x\""_s;
    auto apps = std::make_unique<ExternalApps>();
    QVERIFY(apps->AddApp(u"Text"_s, u"Slow"_s, u"/bin/sh"_s, u"-c '"_s + script + u'\'', false));
    QMenu menu;
    auto tools = std::make_unique<ToolsMenu>(apps.get(), &menu);
    FakeEditor editor;
    editor.hookUp(*tools);
    editor.document.setPlainText(u"slow"_s);
    tools->setOutputMode(u"Text"_s, u"Slow"_s, OutputMode::NewDocument);
    tools->setSelectionAsInput(u"Text"_s, u"Slow"_s, true);
    QSignalSpy finished(tools.get(), &ToolsMenu::runFinished);
    QAction *action = menu.findChild<QAction *>(u"lanyard-tool/Text/Slow"_s);
    action->trigger();
    const auto sleeping = [&] { return ProcessCensus::running(sleep); };
    const auto shells = [&] { return ProcessCensus::running(u"/bin/sh -c "_s + script); };
    QTRY_VERIFY_WITH_TIMEOUT(!sleeping().isEmpty() && !shells().isEmpty(), 10000);
    const bool other = end == u"other";
    if (other) {
        QVERIFY(apps->AddApp(u"Text"_s, u"Quick"_s, u"/bin/echo"_s, u"quick"_s, false));
        tools->setOutputMode(u"Text"_s, u"Quick"_s, OutputMode::NewDocument);
        menu.findChild<QAction *>(u"lanyard-tool/Text/Quick"_s)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 10000);
        QCOMPARE(editor.newDocuments, QStringList{u"quick\n"_s});
        tools.reset();
    } else if (pickAgain) {
        editor.document.setPlainText(u"fast"_s);
        action->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 10000);
        QCOMPARE(editor.newDocuments, QStringList{u"fast\n"_s});
    } else if (end == u"menu") {
        tools.reset();
    } else {
        apps.reset();
    }
    QTRY_VERIFY_WITH_TIMEOUT(sleeping().isEmpty() && shells().isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(ProcessCensus::children().isEmpty(), 10000);
    QCOMPARE(finished.size(), pickAgain || other ? 1 : 0);
}

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"

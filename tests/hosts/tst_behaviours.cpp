// SPDX-License-Identifier: MIT
// Tool behaviours: kept beside the launch list with every writer's changes, and acted on by the
// Tools menu of a host that hands over a QPlainTextEdit.
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolBehaviour;
using Lanyard::ToolRun;
using Lanyard::ToolsMenu;
using Out = ToolBehaviour::Output;
using In = ToolBehaviour::Input;

namespace {

ToolBehaviour behaviour(Out output, In input = In::None) { return {.output = output, .input = input}; }

QAction *action(const ToolsMenu &menu, const QString &group, const QString &app)
{
    return menu.menu()->findChild<QAction *>(u"lanyard-tool/"_s + group + u'/' + app);
}

/// Types @p text and presses @p key in the window asking a tool's value, once it shows.
void answerAsk(const QString &text, Qt::Key key)
{
    UiTest::whenModalShown(u"frmAskValue"_s, [=](QWidget *window) {
        QTest::keyClicks(window->focusWidget(), text);
        QTest::keyClick(window->focusWidget(), key);
    });
}

} // namespace

class tst_Behaviours : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString list() const { return m_dir.filePath(QString::fromUtf8(QTest::currentTestFunction()) + u" [1].lst"_s); }

private Q_SLOTS:
    void keptBesideTheListByEveryWriter();
    void fits_data();
    void fits();
    void delivers_data();
    void delivers();
    void savesFirstAndReloadsAfter();
    void asksForAValue();
    void windowSetsByKeyboard();
    void menuFitsTheScreen();
    void runsThatEndedHoldNothing();
};

void tst_Behaviours::keptBesideTheListByEveryWriter()
{
    ToolBehaviour full = behaviour(Out::ReplaceSelection, In::Document);
    full.saveBefore = ToolBehaviour::Save::AllDocuments;
    full.reloadAfter = full.needsSelection = true;
    full.fileTypes = QStringList{u"text/*"_s, u"*.c"_s};
    full.shortcut = u"Ctrl+Alt+S"_s;
    full.folder = u"%DIR%/x = [y]"_s;
    const QString odd = u"Grüße [a] = 50%"_s;
    {
        ExternalApps a;
        a.setEXTFile(list());
        QVERIFY(a.AddApp(odd, odd, u"/bin/true"_s, {}, false));
        QVERIFY(a.AddApp(u"G"_s, u"Two"_s, u"/bin/true"_s, {}, false));
        a.setToolBehaviour(odd, odd, full);
        QVERIFY(a.save());
    }
    ExternalApps a, b;
    a.setEXTFile(list());
    b.setEXTFile(list());
    QCOMPARE(a.toolBehaviour(odd, odd), full);
    // Each writer changes its own tool; both changes stay, whoever saves last.
    b.setToolBehaviour(u"G"_s, u"Two"_s, behaviour(Out::Pane));
    a.setToolBehaviour(odd, odd, behaviour(Out::Clipboard));
    QVERIFY(b.save() && a.save());
    // A rename takes the behaviour along, also by `lanyard`; a deleted tool's goes.
    QCOMPARE(QProcess::execute(QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard"),
                               {u"--file"_s, list(), u"edit"_s, odd, odd, u"G"_s, u"Renamed"_s}),
             0);
    ExternalApps c;
    c.setEXTFile(list());
    QCOMPARE(c.toolBehaviour(u"G"_s, u"Two"_s), behaviour(Out::Pane));
    QCOMPARE(c.toolBehaviour(u"G"_s, u"Renamed"_s), behaviour(Out::Clipboard));
    QCOMPARE(c.toolBehaviour(odd, odd), ToolBehaviour());
    c.DeleteApp(u"G"_s, u"Two"_s);
    QVERIFY(c.save() && !TestFiles::read(list() + u".behaviour"_s).contains("Two"));
    // A behaviour file that could not be read is never written over.
    const QByteArray unreadable = "[G/Renamed]\noutput=\xff\n";
    QVERIFY(TestFiles::write(list() + u".behaviour"_s, unreadable));
    ExternalApps d;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not read.*not UTF-8"_s));
    d.setEXTFile(list());
    d.setToolBehaviour(u"G"_s, u"Renamed"_s, behaviour(Out::Pane));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved.*could not be read"_s));
    QVERIFY(!d.save());
    QCOMPARE(TestFiles::read(list() + u".behaviour"_s), unreadable);
}

void tst_Behaviours::fits_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<bool>("needsSelection");
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("shown");
    const QStringList none;
    QTest::newRow("no types, no document") << none << false << QString() << false << true;
    QTest::newRow("family") << QStringList{u"text/*"_s} << false << u"a.txt"_s << false << true;
    QTest::newRow("other family") << QStringList{u"text/*"_s} << false << u"a.png"_s << false << false;
    QTest::newRow("inherited type") << QStringList{u"text/plain"_s} << false << u"main.c"_s << false << true;
    QTest::newRow("pattern") << QStringList{u"*.py"_s} << false << u"/x/run.py"_s << false << true;
    QTest::newRow("pattern misses") << QStringList{u"*.py"_s} << false << u"run.txt"_s << false << false;
    QTest::newRow("whole name") << QStringList{u"Makefile"_s} << false << u"/src/Makefile"_s << false << true;
    QTest::newRow("types, no document") << QStringList{u"*.py"_s} << false << QString() << false << false;
    QTest::newRow("needs selection, none") << none << true << u"a.txt"_s << false << false;
    QTest::newRow("needs selection, some") << none << true << u"a.txt"_s << true << true;
}

void tst_Behaviours::fits()
{
    QFETCH(QStringList, types);
    QFETCH(bool, needsSelection);
    QFETCH(QString, document);
    QFETCH(bool, selected);
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"G"_s, u"T"_s, u"/bin/true"_s, {}, false));
    ToolsMenu menu(&apps, u"Tools"_s);
    menu.setCurrentDocument(document);
    menu.setHasSelection(selected);
    apps.setToolBehaviour(u"G"_s, u"T"_s, {.fileTypes = types, .needsSelection = needsSelection});
    QVERIFY(action(menu, u"G"_s, u"T"_s));
    QTEST(action(menu, u"G"_s, u"T"_s)->isVisible(), "shown");
}

void tst_Behaviours::delivers_data()
{
    QTest::addColumn<ToolBehaviour>("tool");
    QTest::addColumn<QString>("command"); // for /bin/sh -c
    QTest::addColumn<int>("selectFrom");  // the selection (or cursor) in "abc def" at the start
    QTest::addColumn<int>("selectTo");
    QTest::addColumn<bool>("editMeanwhile"); // the text changes while the tool runs
    QTest::addColumn<QString>("text");       // the editor's text at the end
    QTest::addColumn<QString>("elsewhere");  // what the hook or the clipboard got
    const auto row = [](const char *name, ToolBehaviour tool, const char *command, int from, int to, bool edit,
                        const char *text, const char *elsewhere = "") {
        QTest::newRow(name) << tool << QString::fromUtf8(command) << from << to << edit << QString::fromUtf8(text)
                            << QString::fromUtf8(elsewhere);
    };
    const char *upper = "tr a-z A-Z";
    row("replace selection", behaviour(Out::ReplaceSelection, In::Selection), upper, 4, 7, false, "abc DEF");
    row("replace document", behaviour(Out::ReplaceSelection, In::Document), upper, 4, 4, false, "ABC DEF");
    row("insert where the cursor was", behaviour(Out::InsertAtCursor), "echo hi", 3, 3, false, "abchi def");
    row("changed meanwhile: held back", behaviour(Out::ReplaceSelection, In::Selection), upper, 0, 3, true, "!");
    row("failing status: nothing", behaviour(Out::ReplaceSelection, In::Selection), "echo x; exit 3", 0, 3, false,
        "abc def");
    row("pane: both streams", behaviour(Out::Pane), "echo out; echo err >&2", 0, 0, false, "abc def",
        "Pane:out\nerr\n");
    row("new document keeps the break", behaviour(Out::NewDocument, In::Selection), "cat; echo", 0, 3, false, "abc def",
        "NewDocument:abc\n");
    row("clipboard", behaviour(Out::Clipboard, In::Document), "wc -w", 0, 0, false, "abc def", "Clipboard:2");
}

void tst_Behaviours::delivers()
{
    QFETCH(ToolBehaviour, tool);
    QFETCH(QString, command);
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    QFETCH(bool, editMeanwhile);
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"G"_s, u"T"_s, u"/bin/sh"_s, u"-c \"%1\""_s.arg(command), false));
    apps.setToolBehaviour(u"G"_s, u"T"_s, tool);
    ToolsMenu menu(&apps, u"Tools"_s);
    QPlainTextEdit editor(u"abc def"_s);
    QString mode, got;
    menu.setTextEdit(&editor, [&](Out to, const QString &text) {
        mode = QString::fromLatin1(QMetaEnum::fromType<Out>().valueToKey(int(to)));
        got += text;
    });
    QGuiApplication::clipboard()->clear();
    QTextCursor cursor(editor.document());
    cursor.setPosition(selectFrom);
    cursor.setPosition(selectTo, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    QSignalSpy finished(&menu, &ToolsMenu::runFinished), failed(&menu, &ToolsMenu::runFailed),
        heldBack(&menu, &ToolsMenu::outputHeldBack);
    action(menu, u"G"_s, u"T"_s)->trigger();
    editor.moveCursor(QTextCursor::End); // output goes where the tool was aimed, not where the cursor went
    if (editMeanwhile) {
        editor.selectAll();
        editor.insertPlainText(u"!"_s);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(failed.size(), int(command.contains(u"exit"_s)));
    if (!QGuiApplication::clipboard()->text().isEmpty())
        mode = u"Clipboard"_s, got = QGuiApplication::clipboard()->text();
    QTEST(editor.toPlainText(), "text");
    QTEST(mode.isEmpty() ? QString() : mode + u':' + got, "elsewhere");
    QCOMPARE(heldBack.size(), editMeanwhile ? 1 : 0);
}

void tst_Behaviours::savesFirstAndReloadsAfter()
{
    const QString file = m_dir.filePath(u"doc (1).txt"_s);
    QVERIFY(TestFiles::write(file, "one\n"));
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"G"_s, u"Append"_s, u"/usr/bin/tee"_s, u"-a %FILE%"_s, false));
    apps.AddPlaceHolder(u"%FILE%"_s, file);
    apps.setToolBehaviour(u"G"_s, u"Append"_s,
                          {.input = In::Selection, .saveBefore = ToolBehaviour::Save::Document, .reloadAfter = true});
    ToolsMenu menu(&apps, u"Tools"_s);
    menu.setCurrentDocument(file);
    menu.setDocumentHooks([] { return u"two\n"_s; }, {});
    QStringList steps;
    bool cancel = true;
    connect(&menu, &ToolsMenu::aboutToLaunch, this, [&] { steps << u"about"_s; });
    connect(&menu, &ToolsMenu::saveRequested, this, [&](ToolBehaviour::Save scope) {
        steps << u"save %1"_s.arg(int(scope));
        if (cancel)
            menu.cancelLaunch();
    });
    connect(&menu, &ToolsMenu::reloadRequested, this, [&](const QString &name) { steps << u"reload "_s + name; });
    QSignalSpy finished(&menu, &ToolsMenu::runFinished);
    action(menu, u"G"_s, u"Append"_s)->trigger();
    QCOMPARE(steps, QStringList({u"about"_s, u"save 1"_s}));
    QCOMPARE(TestFiles::read(file), "one\n");
    cancel = false;
    steps.clear();
    action(menu, u"G"_s, u"Append"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(steps, QStringList({u"about"_s, u"save 1"_s, u"reload "_s + file}), 5000);
    QCOMPARE(TestFiles::read(file), "one\ntwo\n");
}

void tst_Behaviours::asksForAValue()
{
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"G"_s, u"Ask"_s, u"/bin/echo"_s, u"[%ASK:Word%]"_s, false));
    apps.setToolBehaviour(u"G"_s, u"Ask"_s, behaviour(Out::Pane));
    ToolsMenu menu(&apps, u"Tools"_s);
    QString pane;
    menu.setDocumentHooks({}, [&](ToolsMenu::OutputMode, const QString &text) { pane += text; });
    QSignalSpy started(&apps, &ExternalApps::placeholdersWanted), finished(&menu, &ToolsMenu::runFinished);
    answerAsk({}, Qt::Key_Escape);
    action(menu, u"G"_s, u"Ask"_s)->trigger();
    QCOMPARE(started.size(), 0);
    answerAsk(u"a b"_s, Qt::Key_Return);
    action(menu, u"G"_s, u"Ask"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(pane, u"[a b]\n"_s);
    answerAsk({}, Qt::Key_Return); // the value given before is offered first
    action(menu, u"G"_s, u"Ask"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 20000);
    QCOMPARE(pane, u"[a b]\n[a b]\n"_s);
}

// The window the users set behaviours in, by keyboard alone: pick an output, confirm with Return.
void tst_Behaviours::windowSetsByKeyboard()
{
    ExternalApps apps;
    apps.setEXTFile(list());
    QVERIFY(apps.AddApp(u"Text"_s, u"Sort"_s, u"/usr/bin/sort"_s, {}, false));
    ToolsMenu menu(&apps, u"Tools"_s);
    bool checked = false;
    UiTest::whenModalShown(u"frmToolBehaviour"_s, [&](QWidget *window) {
        auto *output = window->findChild<QComboBox *>(u"cboOutput"_s);
        QVERIFY(output && window->findChild<QTreeWidget *>(u"tvTools"_s));
        output->setFocus();
        QTest::keyClick(output, Qt::Key_End); // the last output: onto the clipboard
        QTest::keyClick(window->focusWidget(), Qt::Key_Return);
        checked = true;
    });
    QVERIFY(menu.showBehaviourWindow(nullptr, u"Text"_s, u"Sort"_s) && checked);
    QCOMPARE(apps.toolBehaviour(u"Text"_s, u"Sort"_s).output, Out::Clipboard);
    // Renamed in the program list window the menu opens: the behaviour goes along, saved as it closes.
    menu.addConfigureActions();
    UiTest::whenModalShown(u"frmEditApps"_s, [](QWidget *window) {
        UiTest::whenModalShown(u"frmNewApp"_s, [](QWidget *dialog) {
            UiTest::play(dialog, {u"focus:txtAppName"_s, u"key:Ctrl+A"_s, u"type:Sorted"_s, u"click:cmdOK"_s});
        });
        UiTest::play(window, {u"click:tvGroup/Sort"_s, u"key:Return"_s});
        UiTest::backTo(window), UiTest::play(window, {u"key:Escape"_s});
    });
    menu.menu()->findChild<QAction *>(u"lanyard-configure-tools"_s)->trigger();
    ExternalApps other;
    other.setEXTFile(list());
    QCOMPARE(other.toolBehaviour(u"Text"_s, u"Sorted"_s).output, Out::Clipboard);
}

// A long name is cut in the middle, whole in the tooltip; a program found on PATH has the icon
// its file has.
void tst_Behaviours::menuFitsTheScreen()
{
    ExternalApps apps;
    const QString longName = QString(80, u'a') + QString(80, u'z');
    QVERIFY(apps.AddApp(u"G"_s, longName, u"/bin/true"_s, {}, false));
    QVERIFY(apps.AddApp(u"G"_s, u"On PATH"_s, u"sort"_s, {}, false));
    QVERIFY(apps.AddApp(u"G"_s, u"Whole path"_s, u"/usr/bin/sort"_s, {}, false));
    QVERIFY(apps.AddApp(u"G"_s, u"Missing"_s, u"no-such-program-here"_s, {}, false));
    ToolsMenu menu(&apps, u"Tools"_s);
    const QAction *cut = action(menu, u"G"_s, longName);
    QVERIFY(cut->text().startsWith(u'a') && cut->text().endsWith(u'z') && cut->text().size() < 100);
    QCOMPARE(cut->toolTip(), longName);
    QMenu *group = menu.menu()->findChild<QMenu *>(u"lanyard-group/G"_s);
    QVERIFY(group->sizeHint().width() < group->screen()->availableSize().width() / 2);
    QCOMPARE(action(menu, u"G"_s, u"On PATH"_s)->icon().pixmap(16).toImage(),
             action(menu, u"G"_s, u"Whole path"_s)->icon().pixmap(16).toImage());
    QVERIFY(action(menu, u"G"_s, u"On PATH"_s)->icon().pixmap(16).toImage()
            != action(menu, u"G"_s, u"Missing"_s)->icon().pixmap(16).toImage());
}

// A host may keep its ended runs: they hold no descriptor. A large input is written a piece per
// turn of the event loop, so the host's timers keep running while it goes.
void tst_Behaviours::runsThatEndedHoldNothing()
{
    ExternalApps apps;
    QVERIFY(apps.AddApp(u"G"_s, u"Cat"_s, u"/bin/sh"_s, u"-c \"cat >/dev/null\""_s, false));
    QList<ToolRun *> runs{apps.startTool(u"G"_s, u"Cat"_s)};
    QTRY_VERIFY_WITH_TIMEOUT(runs[0]->state() == ToolRun::State::Finished, 20000);
    const int before = ProcessCensus::openDescriptors();
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(0);
    for (int i = 0; i < 20; ++i)
        runs << apps.startTool(u"G"_s, u"Cat"_s, i ? QByteArray("x") : QByteArray(64 << 20, 'x'));
    for (ToolRun *run : std::as_const(runs))
        QTRY_VERIFY_WITH_TIMEOUT(run->state() == ToolRun::State::Finished, 20000);
    QVERIFY2(ticks >= 16, qPrintable(QString::number(ticks))); // at most 1 MiB a turn: 64 turns at least
    QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::openDescriptors(), before, 5000);
}

QTEST_MAIN(tst_Behaviours)
#include "tst_behaviours.moc"

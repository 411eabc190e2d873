// SPDX-License-Identifier: MIT
// ToolsMenu: a seeded model of the menu following its catalogue (an entry's action and output mode
// stay with it through renames and moves), where a run's output goes, and hosts that delete what
// called them.
#include "common/Catalogue.h"
#include "common/ProcessCensus.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ToolsMenu.h>

#include <QtTest>
#include <QtWidgets>

#include <set>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;
using Lanyard::ToolsMenu;
using Mode = ToolsMenu::OutputMode;
using Handling = std::pair<Mode, bool>;

namespace {

/// The menu as lines "Group/App", "--" for a separator or the text of a plain action, in menu order.
QStringList outline(const QMenu *menu)
{
    QStringList lines;
    for (const QAction *action : menu->actions()) {
        for (const QAction *entry : action->menu() ? action->menu()->actions() : QList<QAction *>())
            lines << action->menu()->title() + u'/' + entry->text();
        if (!action->menu())
            lines << (action->isSeparator() ? u"--"_s : action->text());
    }
    return lines;
}

QString part(QString name) { return name.replace(u'%', u"%25"_s).replace(u'/', u"%2F"_s); }
QString shown(QString name) { return name.replace(u'&', u"&&"_s); }

/// An entry as the model knows it; a mode or an action it does not know (yet) is not compared.
struct Tool
{
    QString group, name;
    std::optional<Handling> mode = Handling{Mode::Ignore, false};
    QPointer<QAction> action;
    bool gone = false;
};

} // namespace

class TestToolsMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Generator modes: signals held back over several changes (then a rebuild), limits that
    // refuse adds and moves, renames in the program list window; the empty menu in a language.
    void model_data()
    {
        // seed, group and application limits, percent of steps held back and through the window, language
        QTest::addColumn<QList<int>>("n");
        QTest::addColumn<QString>("emptyText");
        QTest::newRow("each-change-followed") << QList<int>{1, 5, 5, 0, 0, 0} << u"No tools configured"_s;
        QTest::newRow("held-back") << QList<int>{2, 5, 5, 30, 0, 1} << u"DEU:No tools configured"_s;
        QTest::newRow("tight-limits-held-back") << QList<int>{3, 3, 2, 25, 0, 2} << u"FRA:No tools configured"_s;
        QTest::newRow("program-list-window") << QList<int>{4, 4, 3, 10, 12, 0} << u"No tools configured"_s;
    }

    // Random changes through the catalogue's members and the program list window; the model
    // follows each entry through them. After each step the menu shows the catalogue's entries,
    // each with the action it had and its mode; no action of an entry that went lives on; the
    // host's actions follow.
    void model()
    {
        QFETCH(QList<int>, n);
        QFETCH(QString, emptyText);
        const quint32 seed = quint32(n[0] + qEnvironmentVariableIntValue("LANYARD_SEED"));
        QRandomGenerator random(seed);
        const auto pick = [&](qsizetype n) { return qsizetype(random.bounded(int(qMax<qsizetype>(n, 1)))); };
        const auto chance = [&](int percent) { return pick(100) < percent; };
        const QStringList pool{u"Sort"_s,
                               u"a/b"_s,
                               u"50% \\ off"_s,
                               u"R&D"_s,
                               u"[x]=y;z"_s,
                               u"Gr\u00fc\u00dfe"_s,
                               u"\u00e9t\u00e9 \u2603"_s};
        int made = 0;
        const auto fresh = [&] { return pool[pick(pool.size())] + u' ' + QString::number(++made); };
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        apps.setLanguage(Lanyard::Language(n[5]));
        apps.setMaxGroups(qint16(n[1]));
        apps.setMaxApps(qint16(n[2]));
        QMenu menu;
        ToolsMenu tools(&apps, &menu);
        menu.addSeparator();
        menu.addAction(u"Configure tools..."_s);
        QString wrong;
        QList<Tool> model;
        QList<QPointer<QAction>> gone;    // actions of entries no longer shown
        std::optional<qsizetype> refused; // an entry whose move a held-back batch saw refused
        const auto at = [&](const QString &group, const QString &name) {
            const auto found = std::find_if(model.cbegin(), model.cend(), [&](const Tool &t) {
                return !t.gone && t.group == group && t.name == name;
            });
            return found == model.cend() ? -1 : found - model.cbegin();
        };

        // One change through a member; @p renamed: the entries a held-back batch renamed
        // already, whose names and modes it leaves alone after that (see the report).
        const auto change = [&](std::set<qsizetype> *renamed) -> QString {
            const QStringList entries = dump(apps);
            QStringList groups;
            for (const QString &entry : entries)
                groups << entry.section(u'|', 0, 0);
            groups.removeDuplicates();
            const QString line = entries.value(pick(entries.size()));
            int what = entries.isEmpty() ? 0 : refused && chance(80) ? 2 : int(pick(7)) % 6;
            const qsizetype i = what == 2 && refused ? *refused
                                                     : at(line.section(u'|', 0, 0), line.section(u'|', 1, 1));
            what = renamed && renamed->count(i) && (what == 2 || what == 3) ? 1 : what;
            const QString g = model.value(i).group, a = model.value(i).name, name = fresh();
            QString to = groups.value((groups.indexOf(g) + 1 + pick(groups.size() - 1)) % qMax(1, groups.size()));
            if (what == 0) {
                to = groups.isEmpty() || chance(30) ? fresh() : to;
                if (apps.AddApp(to, name, u"/no/tool"_s, QString(), chance(25)))
                    model.append({to, name});
                return u"AddApp "_s + to + u'/' + name;
            }
            if (what == 1) {
                apps.DeleteApp(g, a);
                gone << model[i].action;
                model[i].gone = true;
                return u"DeleteApp "_s + g + u'/' + a;
            }
            if (what == 2) { // a rename, or a move (into a full group: refused, then one elsewhere)
                for (const QString &full : groups) {
                    if (renamed && !refused && apps.AppCount(full) == n[2] && full != g && chance(50))
                        to = full;
                }
                to = chance(30) ? g : groups.size() < n[1] && chance(40) ? fresh() : to;
                const QString now = to != g && chance(70) ? a : name;
                apps.EditApp(g, a, to, now, (!renamed && chance(15)) != (apps.AppProtected(g, a) != 0));
                const bool done = apps.entry(to, now).ok();
                if (done && renamed)
                    renamed->insert(i);
                if (done)
                    model[i].group = to, model[i].name = now;
                refused = done || !renamed ? std::nullopt : std::optional(i);
                return u"EditApp %1/%2 to %3/%4 %5"_s.arg(g, a, to, now, done ? u"done"_s : u"refused"_s);
            }
            if (what == 3) {
                model[i].mode = Handling{Mode(pick(6)), chance(30)};
                tools.setOutputMode(g, a, model[i].mode->first);
                tools.setSelectionAsInput(g, a, model[i].mode->second);
                return u"mode of "_s + g + u'/' + a;
            }
            // A rename the menu need not follow: the action and mode are not compared after it.
            const qint16 slot = qint16(groups.indexOf(g));
            qint16 app = 0;
            while (what == 5 && apps.ApplicationName(slot, app) != a)
                ++app;
            what == 4 ? apps.setGroupName(slot, name) : apps.setApplicationName(slot, app, name);
            for (Tool &tool : model) {
                if (!tool.gone && tool.group == g && (what == 4 || tool.name == a))
                    (what == 4 ? tool.group : tool.name) = name, tool.action = nullptr, tool.mode.reset();
            }
            return (what == 4 ? u"setGroupName "_s : u"setApplicationName "_s) + g + u'/' + a + u" to "_s + name;
        };

        const auto differences = [&]() -> QString {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QStringList expected;
            qsizetype count = 0;
            for (const QString &line : dump(apps)) {
                const QStringList e = line.split(u'|');
                const qsizetype i = at(e[0], e[1]);
                const Handling mode{tools.outputMode(e[0], e[1]), tools.selectionAsInput(e[0], e[1])};
                if (i < 0 || std::exchange(model[i].mode, mode).value_or(mode) != mode)
                    return u"an entry the model does not know, or its mode: "_s + line;
                if (e[4] != u"0" && !tools.showProtected()) {
                    gone << std::exchange(model[i].action, nullptr);
                    continue;
                }
                ++count;
                expected << shown(e[0]) + u'/' + shown(e[1]);
                auto *action = menu.findChild<QAction *>(u"lanyard-tool/"_s + part(e[0]) + u'/' + part(e[1]));
                const QPointer<QAction> had = std::exchange(model[i].action, action);
                if (!action || (had && had != action) || !menu.findChild<QMenu *>(u"lanyard-group/"_s + part(e[0])))
                    return u"not the action it had, or no submenu: "_s + line;
            }
            if (count == 0 && !emptyText.isEmpty() && menu.actions().constFirst()->isEnabled())
                return u"the empty menu's entry can be chosen"_s;
            expected << (count || emptyText.isEmpty() ? QStringList() : QStringList{emptyText}) << u"--"_s
                     << u"Configure tools..."_s;
            if (outline(&menu) != expected)
                return u"menu: "_s + outline(&menu).join(u", ") + u"\nmodel: "_s + expected.join(u", ");
            if (menu.findChildren<QAction *>(QRegularExpression(u"^lanyard-tool/"_s)).size() != count)
                return u"actions of entries that are not there"_s;
            gone.removeAll(nullptr);
            return gone.isEmpty() ? std::exchange(wrong, QString()) : u"an action of an entry that went lives on"_s;
        };

        QStringList steps;
        for (int step = 0; step < 300; ++step) {
            const QStringList entry = dump(apps).value(pick(dump(apps).size())).split(u'|');
            Tool *tool = entry.size() < 5 ? nullptr : &model[at(entry[0], entry[1])];
            if (chance(n[3])) {
                std::set<qsizetype> renamed;
                QStringList batch;
                {
                    const QSignalBlocker blocker(apps);
                    for (int k = 2 + int(pick(3)); k > 0; --k)
                        batch << change(&renamed);
                }
                refused.reset();
                tools.rebuild();
                steps << u"held back: "_s + batch.join(u"; ");
            } else if (tool && entry[4] == u"0" && chance(n[4])) {
                const QString name = fresh();
                apps.ShowForm();
                QWidget *window = UiTest::programListWindow();
                QTreeWidgetItem *item = UiTest::itemOf(window->findChild<QTreeWidget *>(u"tvGroup"_s), tool->name);
                item->treeWidget()->scrollToItem(item);
                UiTest::clickItem(item);
                UiTest::whenModalShown(u"frmNewApp"_s, [&](QWidget *dialog) {
                    dialog->findChild<QLineEdit *>(u"txtAppName"_s)->setText(name);
                    QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
                });
                QTest::mouseClick(window->findChild<QPushButton *>(u"cmdEdit"_s), Qt::LeftButton);
                apps.HideForm();
                steps << u"in the window: "_s + tool->group + u'/' + std::exchange(tool->name, name) + u" to "_s + name;
            } else if (const int what = int(pick(14)); what == 0) {
                tools.setShowProtected(!tools.showProtected());
                steps << u"showProtected "_s + QString::number(tools.showProtected());
            } else if (what == 1) {
                tools.setEmptyText(emptyText = chance(50) ? QString() : u"Nothing & more"_s);
                steps << u"emptyText "_s + emptyText;
            } else if (what == 2 && tool && tool->action) { // launched under its names of now
                QSignalSpy launching(&tools, &ToolsMenu::aboutToLaunch);
                tool->action->trigger();
                steps << u"picked "_s + tool->group + u'/' + tool->name;
                if (launching.value(0) != QVariantList{tool->group, tool->name})
                    wrong = u"the action launched another entry"_s;
            } else if (what == 3) {
                // Saved into settings of their own and loaded back: the modes of the entries
                // there are, not those of the group's earlier keys, of entries gone, of deeper keys.
                QTemporaryDir dir;
                QSettings settings(dir.filePath(u"host.ini"_s), QSettings::IniFormat);
                settings.setValue(u"outside"_s, 1);
                settings.beginGroup(u"tools"_s);
                settings.setValue(u"Earlier/Key"_s, u"Pane"_s);
                tools.setOutputMode(u"Gone"_s, u"Away"_s, Mode::Clipboard);
                tools.saveModes(settings);
                settings.setValue(u"Other/Plain/deeper"_s, u"Pane"_s);
                settings.sync();
                QSettings back(dir.filePath(u"host.ini"_s), QSettings::IniFormat);
                const bool outside = back.value(u"outside"_s) == u"1"_s;
                back.beginGroup(u"tools"_s);
                tools.loadModes(back);
                const qsizetype kept = std::count_if(model.cbegin(), model.cend(), [](const Tool &t) {
                    return !t.gone && t.mode != Handling{Mode::Ignore, false};
                });
                if (!outside || back.allKeys().size() != kept + 1
                    || tools.outputMode(u"Gone"_s, u"Away"_s) != Mode::Ignore)
                    wrong = u"saved the modes of %1 of %2 entries, or of entries gone"_s.arg(back.allKeys().size() - 1)
                                .arg(kept);
                steps << u"modes saved and loaded"_s;
            } else {
                steps << change(nullptr);
            }
            const QString differs = differences();
            if (!differs.isEmpty())
                qWarning().noquote() << u"seed %1, steps:\n"_s.arg(seed) + steps.join(u'\n');
            QVERIFY2(differs.isEmpty(), qPrintable(differs));
        }
    }

    void deletedBy_data()
    {
        // Whose handler deletes, what, how the launch starts; what is told (launched:1 is the menu's).
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *tag, const char *how, const char *told) {
            QTest::newRow(tag) << QString::fromLatin1(how) << QString::fromLatin1(told);
        };
        const char *launched = "aboutToLaunch placeholdersWanted AppFinished launched:1";
        const char *failed = "aboutToLaunch placeholdersWanted launchFailed launched:0";
        row("nothing", "- - pick", launched);
        row("nothing-quote-left-open", "- - quote", failed);
        row("entry-in-aboutToLaunch", "aboutToLaunch entry pick", failed);
        row("catalogue-in-aboutToLaunch", "aboutToLaunch catalogue pick", "aboutToLaunch");
        row("catalogue-in-aboutToLaunch-of-a-run", "aboutToLaunch catalogue run", "aboutToLaunch");
        row("menu-in-aboutToLaunch", "aboutToLaunch menu pick", "aboutToLaunch");
        row("menu-in-aboutToLaunch-of-a-run", "aboutToLaunch menu run", "aboutToLaunch");
        row("window-owner-in-aboutToLaunch", "aboutToLaunch owner pick", launched);
        row("catalogue-asking-placeholders-of-a-pick", "placeholdersWanted catalogue pick",
            "aboutToLaunch placeholdersWanted launched:0");
        row("catalogue-asking-placeholders-ExecuteApp", "placeholdersWanted catalogue ExecuteApp",
            "placeholdersWanted false");
        row("catalogue-asking-placeholders-late-bound", "placeholdersWanted catalogue invoke",
            "placeholdersWanted false");
        row("catalogue-asking-placeholders-startTool", "placeholdersWanted catalogue startTool",
            "placeholdersWanted no run");
        row("catalogue-asking-placeholders-launchCommand", "placeholdersWanted catalogue launchCommand",
            "placeholdersWanted the object was deleted while asking for placeholders");
        row("menu-asking-placeholders", "placeholdersWanted menu pick", "aboutToLaunch placeholdersWanted AppFinished");
        row("menu-in-AppFinished", "AppFinished menu pick", "aboutToLaunch placeholdersWanted AppFinished");
        row("window-owner-in-AppFinished", "AppFinished owner pick", launched);
        // No signal: one goes, the other stays usable; with the catalogue gone the menu keeps
        // only the host's actions and a stale action does nothing. As children of one window,
        // Qt deletes them in the order they were created.
        row("menu-first", "- menu -", "");
        row("catalogue-first", "- catalogue -", "");
        row("window-children-menu-created-first", "- window menu", "");
        row("window-children-catalogue-created-first", "- window catalogue", "");
    }

    // A host's handler deletes the catalogue, the menu, the entry or the program list window's
    // owner while it is called: nothing more starts, nothing more is told of what went, the
    // host's own actions stay in the menu (the sanitizer build catches a use after free). The
    // handlers rebuild the menu, deleting the action being triggered.
    void deletedBy()
    {
        QFETCH(QString, how);
        QFETCH(QString, told);
        const QString signal = how.section(u' ', 0, 0), victim = how.section(u' ', 1, 1), way = how.section(u' ', 2);
        auto window = std::make_unique<QMainWindow>();
        QPointer<QMenu> menu = new QMenu;
        QPointer<ExternalApps> apps = new ExternalApps;
        QPointer<QWidget> owner = new QWidget;
        apps->setShowMissingProgram(false);
        QVERIFY(apps->AddApp(u"Text"_s, u"Sort"_s, u"/bin/true"_s, way == u"quote" ? u"\"open"_s : QString(), false));
        apps->setParent(victim == u"window" && way == u"catalogue" ? window.get() : nullptr);
        QPointer<ToolsMenu> tools = new ToolsMenu(apps, menu, victim == u"window" ? window.get() : nullptr);
        if (victim == u"window" && way == u"menu")
            apps->setParent(window.get());
        menu->setParent(window.get(), menu->windowFlags()); // last: what goes first leaves a live menu
        menu->addAction(u"Configure tools..."_s);
        QPointer<QAction> sort = menu->findChild<QAction *>(u"lanyard-tool/Text/Sort"_s);
        QCOMPARE(sort->icon().cacheKey(), apps->Icon(u"Text"_s, 0).cacheKey());
        QVERIFY(!menu->actions().constFirst()->icon().isNull()); // the group's
        tools->setOutputMode(u"Text"_s, u"Sort"_s, way == u"run" ? Mode::Pane : Mode::Ignore);

        QStringList events;
        const auto deleteIt = [&] {
            if (victim == u"entry")
                return apps->DeleteApp(u"Text"_s, u"Sort"_s);
            delete (victim == u"owner" ? owner.data() : victim == u"menu" ? static_cast<QObject *>(tools) : apps);
        };
        const auto hear = [&](const char *name, auto *sender, auto signal, bool deletes) {
            connect(sender, signal, menu.data(), [&, name, deletes] {
                events << QString::fromLatin1(name);
                if (tools)
                    tools->rebuild();
                if (deletes)
                    deleteIt();
            });
        };
        hear("aboutToLaunch", tools.data(), &ToolsMenu::aboutToLaunch, signal == u"aboutToLaunch");
        hear("placeholdersWanted", apps.data(), &ExternalApps::placeholdersWanted, signal == u"placeholdersWanted");
        hear("AppFinished", apps.data(), &ExternalApps::AppFinished, signal == u"AppFinished");
        hear("launchFailed", apps.data(), &ExternalApps::launchFailed, false);
        hear("runFailed", tools.data(), &ToolsMenu::runFailed, false);
        hear("runFinished", tools.data(), &ToolsMenu::runFinished, false);
        connect(tools, &ToolsMenu::launched, menu, [&](const QString &, const QString &, bool ok) {
            events << u"launched:"_s + QString::number(ok);
            if (tools)
                tools->rebuild();
        });
        QStringList whenToolsWent;
        connect(tools, &QObject::destroyed, menu, [&] { whenToolsWent = outline(menu); });

        if (victim == u"owner")
            apps->ShowForm(0, owner);
        if (way == u"pick" || way == u"quote" || way == u"run")
            sort->trigger();
        else if (way == u"ExecuteApp" || way == u"invoke")
            events << (way == u"invoke"
                           ? apps->invoke(u"ExecuteApp"_s, u"call"_s, {u"Text"_s, u"Sort"_s}).value(u"value"_s)
                           : QVariant(apps->ExecuteApp(u"Text"_s, u"Sort"_s)))
                          .toString();
        else if (way == u"startTool")
            events << (apps->startTool(u"Text"_s, u"Sort"_s) ? u"a run"_s : u"no run"_s);
        if (way == u"launchCommand") {
            const Lanyard::Result<Lanyard::LaunchCommand> command = apps->launchCommand(u"Text"_s, u"Sort"_s);
            events << (command ? u"a command"_s : command.error().detail());
        }
        if (victim == u"window") {
            window.reset();
            QVERIFY(!apps && !tools && !menu);
            QCOMPARE(whenToolsWent, QStringList{u"Configure tools..."_s});
            return;
        }
        if (way == u"-") {
            deleteIt();
            if (tools) {
                tools->rebuild();
                tools->setShowProtected(true);
                tools->setEmptyText(u"Nothing"_s);
                QVERIFY(!tools->externalApps());
            } else {
                QVERIFY(apps->AddApp(u"Text"_s, u"Count"_s, u"/bin/true"_s, QString(), false));
            }
            if (sort)
                sort->trigger(); // taken out of the menu, deleted once control is back in the event loop
        }
        QCOMPARE(events.join(u' '), told);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QString entries = !apps || !tools      ? QString()
                                : victim == u"entry" ? u"No tools configured, "_s
                                                     : u"Text/Sort, "_s;
        QCOMPARE(outline(menu).join(u", "), entries + u"Configure tools..."_s);
        QCOMPARE(UiTest::programListWindow() != nullptr, victim == u"owner" && owner);
        QTRY_VERIFY_WITH_TIMEOUT(ProcessCensus::children().isEmpty(), 10000);
        delete tools;
        delete apps;
        delete owner;
    }

    void outputGoesWhereItsModeSays_data()
    {
        // program|arguments|mode|selection as input|document before|after|selection start|length|
        // pane (sorted lines: the two streams race)|new documents|clipboard|exit status|runFailed's reason
        QTest::addColumn<QString>("row");
        const auto row = [](const char *tag, const char *row) { QTest::newRow(tag) << QString::fromUtf8(row); };
        row("replace-selection-through-stdin", "/usr/bin/tr|a-z A-Z|ReplaceSelection|1|x abc y|x ABC y|2|3||||0|");
        row("replace-lines-keeps-their-last-break", "/usr/bin/sort||ReplaceSelection|1|b\na\nc|a\nb\nc|0|0||||0|");
        row("insert-at-cursor-leaves-the-selection",
            "/usr/bin/printf|'X\\n'|InsertAtCursor|0|abc def|abc Xdef|0|4||||0|");
        row("new-document-whole", "/usr/bin/printf|'X\\n'|NewDocument|0|abc|abc|0|0||X\n||0|");
        row("clipboard", "/usr/bin/tr|a-z A-Z|Clipboard|1|abc def|abc def|4|3|||DEF|0|");
        row("pane-both-streams-whatever-the-status",
            "/bin/sh|-c 'echo out; echo err >&2; exit 3'|Pane|0|abc|abc|0|0|err\nout|||3|");
        row("ignore-with-input", "/usr/bin/tr|a-z A-Z|Ignore|1|abc|abc|0|3||||0|");
        row("failing-status-changes-nothing",
            "/bin/sh|-c 'echo out; echo err >&2; exit 3'|ReplaceSelection|1|abc|abc|0|3||||3|err");
        row("failing-status-silent", "/bin/false||NewDocument|0|abc|abc|0|0||||1|exited with status 1");
        row("missing-program",
            "/nonexistent/tool||Pane|0|abc|abc|0|0||||-1|Unable to find the file: /nonexistent/tool");
    }

    // The host's editor gives the selection (line breaks as "\n"; QTextCursor writes U+2029), or
    // the whole text when none, and takes the output where its mode says.
    void outputGoesWhereItsModeSays()
    {
        QFETCH(QString, row);
        const QStringList f = row.split(u'|');
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        QVERIFY(apps.AddApp(u"Text"_s, u"Tool"_s, f[0], f[1], false));
        QMenu menu;
        ToolsMenu tools(&apps, &menu);
        QPlainTextEdit document(f[4]);
        QTextCursor cursor(document.document());
        cursor.setPosition(f[6].toInt());
        cursor.setPosition(f[6].toInt() + f[7].toInt(), QTextCursor::KeepAnchor);
        QStringList pane, documents;
        tools.setDocumentHooks(
            [&] {
                return cursor.hasSelection() ? cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n')
                                             : document.toPlainText();
            },
            [&](Mode as, const QString &text) {
                if (as == Mode::InsertAtCursor)
                    cursor.setPosition(cursor.position());
                if (as == Mode::ReplaceSelection && !cursor.hasSelection())
                    cursor.select(QTextCursor::Document);
                if (as == Mode::InsertAtCursor || as == Mode::ReplaceSelection)
                    cursor.insertText(text);
                else if (as == Mode::Pane)
                    pane = text.split(u'\n', Qt::SkipEmptyParts);
                else
                    documents << (as == Mode::NewDocument ? text : u"ToolsMenu's own mode"_s);
            });
        tools.setOutputMode(u"Text"_s, u"Tool"_s, Mode(QMetaEnum::fromType<Mode>().keyToValue(qPrintable(f[2]))));
        tools.setSelectionAsInput(u"Text"_s, u"Tool"_s, f[3] == u"1");
        QGuiApplication::clipboard()->setText(u"before"_s);
        QSignalSpy launched(&tools, &ToolsMenu::launched);
        QSignalSpy finished(&tools, &ToolsMenu::runFinished);
        QSignalSpy failed(&tools, &ToolsMenu::runFailed);
        menu.findChild<QAction *>(u"lanyard-tool/Text/Tool"_s)->trigger();
        const int status = f[11].toInt();
        QTRY_VERIFY_WITH_TIMEOUT(status >= 0 ? finished.size() == 1 : failed.size() == 1, 10000);
        QCOMPARE(launched.size(), 0); // ExecuteApp's signal: not for a run
        QCOMPARE(finished.value(0).value(2), status >= 0 ? QVariant(status) : QVariant());
        QCOMPARE(failed.value(0).value(2).toString(), f[12]);
        QCOMPARE(document.toPlainText(), f[5]);
        pane.sort();
        QCOMPARE(pane.join(u'\n'), f[8]);
        QCOMPARE(documents.join(u'|'), f[9]);
        QCOMPARE(QGuiApplication::clipboard()->text(), f[10].isEmpty() ? u"before"_s : f[10]);
    }

    void runEndsWithTheMenu_data()
    {
        QTest::addColumn<QString>("end");
        for (const char *end :
             {"menu-deleted", "catalogue-deleted", "picked-again", "another-run-ended-then-menu-deleted"})
            QTest::newRow(end) << QString::fromLatin1(end);
    }

    // A run that waits forever (on input "slow") ends with the menu, with the catalogue, or when
    // its entry is picked again, with what it started; the second run delivers, the first
    // nothing. The end of another tool's run meanwhile changes none of that.
    void runEndsWithTheMenu()
    {
        QFETCH(QString, end);
        // Told apart from the same test running elsewhere on the machine by this process's number.
        const QString sleep = u"sleep 1000.%1"_s.arg(QCoreApplication::applicationPid());
        const QString script = u"read x; [ \"$x\" = slow ] && "_s + sleep + u"; echo \"$x\""_s;
        auto apps = std::make_unique<ExternalApps>();
        QVERIFY(apps->AddApp(u"Text"_s, u"Slow"_s, u"/bin/sh"_s, u"-c '"_s + script + u'\'', false));
        QVERIFY(apps->AddApp(u"Text"_s, u"Quick"_s, u"/bin/echo"_s, u"quick"_s, false));
        QMenu menu;
        auto tools = std::make_unique<ToolsMenu>(apps.get(), &menu);
        QString input = u"slow"_s;
        QStringList documents;
        tools->setDocumentHooks([&] { return input; }, [&](Mode, const QString &text) { documents << text; });
        tools->setOutputMode(u"Text"_s, u"Slow"_s, Mode::NewDocument);
        tools->setOutputMode(u"Text"_s, u"Quick"_s, Mode::NewDocument);
        tools->setSelectionAsInput(u"Text"_s, u"Slow"_s, true);
        QSignalSpy finished(tools.get(), &ToolsMenu::runFinished);
        QAction *slow = menu.findChild<QAction *>(u"lanyard-tool/Text/Slow"_s);
        slow->trigger();
        const auto running = [&] {
            return ProcessCensus::running(sleep).size() + ProcessCensus::running(u"/bin/sh -c "_s + script).size();
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 2, 10000);
        const bool again = end == u"picked-again", other = end.startsWith(u"another");
        if (again || other) {
            input = u"fast"_s;
            (again ? slow : menu.findChild<QAction *>(u"lanyard-tool/Text/Quick"_s))->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
            QCOMPARE(documents, QStringList{again ? u"fast\n"_s : u"quick\n"_s});
        }
        if (end == u"catalogue-deleted")
            apps.reset();
        else if (!again)
            tools.reset();
        QTRY_COMPARE_WITH_TIMEOUT(running(), 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(ProcessCensus::children().isEmpty(), 10000);
        QCOMPARE(finished.size(), again || other ? 1 : 0);
    }
};

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"

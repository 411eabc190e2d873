// SPDX-License-Identifier: MIT
// ToolsMenu: a seeded model of the menu following its catalogue, and hosts that delete what called them.
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
    for (QAction *action : menu->actions()) {
        for (const QAction *entry : action->menu() ? action->menu()->actions() : QList<QAction *>{action})
            lines << (entry != action         ? action->menu()->title() + u'/' + entry->text()
                      : action->isSeparator() ? "--"
                                              : action->text());
    }
    return lines;
}

QString part(QString name) { return name.replace("%", "%25").replace("/", "%2F"); }

struct Tool
{
    QString group, name;
    Handling mode{Mode::Ignore, false};
    QPointer<QAction> action;
    bool gone = false;
};

} // namespace

class TestToolsMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void model_data()
    {
        // seed, group and application limits (that refuse adds and moves), percent of steps held back, language
        QTest::addColumn<QList<int>>("n");
        QTest::addColumn<QString>("emptyText");
        QTest::newRow("each-change-followed") << QList<int>{1, 5, 5, 0, 0} << "No tools configured";
        QTest::newRow("held-back") << QList<int>{2, 5, 5, 30, 1} << "DEU:No tools configured";
        QTest::newRow("tight-limits-held-back") << QList<int>{3, 3, 2, 25, 2} << "FRA:No tools configured";
    }

    // After each random change (or held-back batch) each entry has the action and mode it had.
    void model()
    {
        QFETCH(QList<int>, n);
        QFETCH(QString, emptyText);
        const quint32 seed = quint32(n[0] + qEnvironmentVariableIntValue("LANYARD_SEED"));
        QRandomGenerator random(seed);
        const auto pick = [&](qsizetype count) { return qsizetype(random.bounded(int(qMax<qsizetype>(count, 1)))); };
        const auto chance = [&](int percent) { return pick(100) < percent; };
        const QStringList pool{
            "Sort", "a/b", "50% \\ off", "R&D", "[x]=y;z", "Gr\u00fc\u00dfe", "\u00e9t\u00e9 \u2603"};
        int made = 0;
        const auto fresh = [&] {
            return chance(3) ? QString() : pool[pick(pool.size())] + ' ' + QString::number(++made);
        };
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        apps.setLanguage(Lanyard::Language(n[4]));
        apps.setMaxGroups(qint16(n[1]));
        apps.setMaxApps(qint16(n[2]));
        QMenu menu;
        ToolsMenu tools(&apps, &menu);
        menu.addSeparator();
        menu.addAction("Configure tools...");
        QString wrong;
        QList<Tool> model;
        QList<QPointer<QAction>> gone;    // actions of entries no longer shown
        std::optional<qsizetype> refused; // an entry whose move a held-back batch saw refused
        const auto at = [&](const QString &group, const QString &name, bool gone = false) {
            const auto i = std::find_if(model.cbegin(), model.cend(), [&](const Tool &t) {
                return (gone || !t.gone) && t.group == group && t.name == name;
            });
            return i == model.cend() ? qsizetype(-1) : i - model.cbegin();
        };

        // One change; @p renamed: entries a held-back batch renamed, left alone after that.
        const auto change = [&](std::set<qsizetype> *renamed) -> QString {
            const QStringList entries = dump(apps);
            QStringList groups;
            for (const QString &entry : entries)
                groups << entry.section('|', 0, 0);
            groups.removeDuplicates();
            const QStringList e = entries.value(pick(entries.size())).split('|');
            int what = entries.isEmpty() ? 0 : refused && chance(80) ? 2 : int(pick(6)) % 4;
            const qsizetype i = what == 2 && refused && !model[*refused].gone ? *refused : at(e[0], e.value(1));
            what = i < 0 ? 0 : renamed && renamed->count(i) && what >= 2 ? 1 : what;
            const QString g = model.value(i).group, a = model.value(i).name, name = fresh();
            QString to = groups.value((groups.indexOf(g) + 1 + pick(groups.size() - 1)) % qMax(1, groups.size()));
            if (what == 0) {
                to = groups.isEmpty() || chance(30) ? fresh() : to;
                if (at(to, name, true) < 0 && apps.AddApp(to, name, "/no/tool", "", chance(25)))
                    model.append({to, name});
                return "AddApp " + to + '/' + name;
            }
            if (what == 1) {
                apps.DeleteApp(g, a);
                gone << model[i].action;
                model[i].gone = true;
                return "DeleteApp " + g + '/' + a;
            }
            if (what == 3) {
                model[i].mode = {Mode(pick(6)), chance(30)};
                tools.setOutputMode(g, a, model[i].mode.first);
                tools.setSelectionAsInput(g, a, model[i].mode.second);
                return "mode of " + g + '/' + a;
            }
            // A rename, or a move (into a full group: refused, then, held back, one elsewhere).
            for (const QString &full : groups) {
                if (renamed && !refused && apps.AppCount(full) == n[2] && full != g && chance(50))
                    to = full;
            }
            to = chance(30) ? g : groups.size() < n[1] && chance(40) ? fresh() : to;
            const QString now = to != g && chance(70) ? a : name;
            if (at(to, now, true) >= 0)
                return "not renamed to a name there is";
            apps.EditApp(g, a, to, now, (!renamed && chance(15)) != (apps.AppProtected(g, a) != 0));
            const bool done = apps.entry(to, now).ok();
            if (done && renamed)
                renamed->insert(i);
            if (done)
                model[i].group = to, model[i].name = now;
            refused = done || !renamed ? std::nullopt : std::optional(i);
            return "EditApp " + g + '/' + a + " to " + to + '/' + now + (done ? " done" : " refused");
        };

        const auto differences = [&]() -> QString {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QStringList expected;
            qsizetype count = 0;
            for (const QString &line : dump(apps)) {
                const QStringList e = line.split('|');
                const qsizetype i = at(e[0], e[1]);
                if (i < 0
                    || model[i].mode != Handling{tools.outputMode(e[0], e[1]), tools.selectionAsInput(e[0], e[1])})
                    return "an entry the model does not know, or its mode: " + line;
                if (e[4] != "0" && !tools.showProtected()) {
                    gone << std::exchange(model[i].action, nullptr);
                    continue;
                }
                ++count;
                expected << QString(e[0]).replace('&', "&&") + '/' + QString(e[1]).replace('&', "&&");
                auto *action = menu.findChild<QAction *>("lanyard-tool/" + part(e[0]) + '/' + part(e[1]));
                const QPointer<QAction> had = std::exchange(model[i].action, action);
                if (!action || (had && had != action) || !menu.findChild<QMenu *>("lanyard-group/" + part(e[0])))
                    return "not the action it had, or no submenu: " + line;
            }
            if (count == 0 && !emptyText.isEmpty() && menu.actions().constFirst()->isEnabled())
                return "the empty menu's entry can be chosen";
            expected << (count == 0 && !emptyText.isEmpty() ? QStringList{emptyText} : QStringList()) << "--"
                     << "Configure tools...";
            if (outline(&menu) != expected)
                return "menu: " + outline(&menu).join(", ") + "\nmodel: " + expected.join(", ");
            if (menu.findChildren<QAction *>(QRegularExpression("^lanyard-tool/")).size() != count)
                return "actions of entries that are not there";
            gone.removeAll(nullptr);
            return gone.isEmpty() ? std::exchange(wrong, QString()) : "an action of an entry that went lives on";
        };

        QStringList steps;
        for (int step = 0; step < 300; ++step) {
            const QStringList e = dump(apps).value(pick(dump(apps).size())).split('|');
            Tool *tool = e.size() < 5 ? nullptr : &model[at(e[0], e[1])];
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
                steps << "held back: " + batch.join("; ");
            } else if (const int what = int(pick(14)); what == 0) {
                tools.setShowProtected(!tools.showProtected());
                steps << "showProtected " + QString::number(tools.showProtected());
            } else if (what == 1) {
                tools.setEmptyText(emptyText = chance(50) ? QString() : "Nothing & more");
                steps << "emptyText " + emptyText;
            } else if (what == 2 && tool && tool->action) { // launched under its names of now
                QSignalSpy launching(&tools, &ToolsMenu::aboutToLaunch);
                tool->action->trigger();
                steps << "picked " + tool->group + '/' + tool->name;
                wrong = launching.value(0) == QVariantList{tool->group, tool->name} ? wrong : "launched another entry";
            } else if (what == 3) {
                // Saved and loaded back: the modes of the entries there are, not of earlier or deeper keys.
                QTemporaryDir dir;
                QSettings settings(dir.filePath("host.ini"), QSettings::IniFormat);
                settings.setValue("outside", 1);
                settings.beginGroup("tools");
                settings.setValue("Earlier/Key", "Pane");
                tools.saveModes(settings);
                settings.setValue("Other/Plain/deeper", "Pane");
                settings.sync();
                QSettings back(dir.filePath("host.ini"), QSettings::IniFormat);
                const QStringList keys = back.allKeys();
                back.beginGroup("tools");
                tools.loadModes(back);
                const auto kept = std::count_if(model.cbegin(), model.cend(), [&](const Tool &t) {
                    return !t.gone && apps.entry(t.group, t.name).ok() && t.mode != Handling{Mode::Ignore, false};
                });
                if (!keys.contains("outside") || keys.size() != kept + 2)
                    wrong = "saved " + keys.join(", ");
                steps << "modes saved and loaded";
            } else {
                steps << change(nullptr);
            }
            const QString differs = differences();
            QVERIFY2(differs.isEmpty(),
                     qPrintable(differs + QString("\nseed %1, steps:\n").arg(seed) + steps.join('\n')));
        }
    }

    void deletedBy_data()
    {
        // Whose handler deletes, what, how the launch starts; what is told (launched:1 is the menu's).
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *tag, const char *how, const char *told) { QTest::newRow(tag) << how << told; };
        row("nothing", "- - pick", "aboutToLaunch asked started launched:1");
        row("nothing-quote-left-open", "- - quote", "aboutToLaunch asked failed launched:0");
        row("entry-in-aboutToLaunch", "aboutToLaunch entry pick", "aboutToLaunch asked failed launched:0");
        row("catalogue-in-aboutToLaunch", "aboutToLaunch catalogue pick", "aboutToLaunch");
        row("catalogue-in-aboutToLaunch-of-a-run", "aboutToLaunch catalogue run", "aboutToLaunch");
        row("menu-in-aboutToLaunch", "aboutToLaunch menu pick", "aboutToLaunch");
        row("menu-in-aboutToLaunch-of-a-run", "aboutToLaunch menu run", "aboutToLaunch");
        row("window-owner-in-aboutToLaunch", "aboutToLaunch owner pick", "aboutToLaunch asked started launched:1");
        row("catalogue-asked-in-a-pick", "asked catalogue pick", "aboutToLaunch asked launched:0");
        row("catalogue-asked-in-ExecuteApp", "asked catalogue ExecuteApp", "asked false");
        row("catalogue-asked-late-bound", "asked catalogue invoke", "asked false");
        row("catalogue-asked-in-startTool", "asked catalogue startTool", "asked no run");
        row("catalogue-asked-in-launchCommand", "asked catalogue launchCommand",
            "asked the object was deleted while asking for placeholders");
        row("menu-asked", "asked menu pick", "aboutToLaunch asked started");
        row("menu-in-AppFinished", "started menu pick", "aboutToLaunch asked started");
        row("window-owner-in-AppFinished", "started owner pick", "aboutToLaunch asked started launched:1");
        // No signal: one goes, the other stays usable; a window deletes them in the order made.
        row("menu-first", "- menu -", "");
        row("catalogue-first", "- catalogue -", "");
        row("window-children-menu-created-first", "- window menu", "");
        row("window-children-catalogue-created-first", "- window catalogue", "");
        row("menu-during-a-run", "- menu slow", "aboutToLaunch asked aboutToLaunch asked runFinished");
        row("catalogue-during-a-run", "- catalogue slow", "aboutToLaunch asked aboutToLaunch asked runFinished");
    }

    // A host's handler deletes what called it: nothing more starts or is told, its actions stay.
    void deletedBy()
    {
        QFETCH(QString, how);
        QFETCH(QString, told);
        const QString signal = how.section(' ', 0, 0), victim = how.section(' ', 1, 1), way = how.section(' ', 2);
        auto window = std::make_unique<QMainWindow>();
        QPointer<QMenu> menu = new QMenu;
        QPointer<ExternalApps> apps = new ExternalApps;
        QPointer<QWidget> owner = new QWidget;
        apps->setShowMissingProgram(false);
        const QString program = way == "slow" ? "/bin/sleep" : "/bin/true", line = way == "slow" ? "1000" : "";
        QVERIFY(apps->AddApp("Text", "Sort", program, way == "quote" ? "\"open" : line, false));
        QVERIFY(way != "slow" || apps->AddApp("Text", "Quick", "/bin/true", "", false));
        apps->setParent(victim == "window" && way == "catalogue" ? window.get() : nullptr);
        QPointer<ToolsMenu> tools = new ToolsMenu(apps, menu, victim == "window" ? window.get() : nullptr);
        if (victim == "window" && way == "menu")
            apps->setParent(window.get());
        menu->setParent(window.get(), menu->windowFlags()); // last: what goes first leaves a live menu
        menu->addAction("Configure tools...");
        QPointer<QAction> sort = menu->findChild<QAction *>("lanyard-tool/Text/Sort");
        QCOMPARE(sort->icon().cacheKey(), apps->Icon("Text", 0).cacheKey());
        QVERIFY(!menu->actions().constFirst()->icon().isNull()); // the group's
        tools->setOutputMode("Text", "Sort", way == "run" || way == "slow" ? Mode::Pane : Mode::Ignore);
        tools->setOutputMode("Text", "Quick", Mode::Pane);

        QStringList events;
        const auto deleteIt = [&] {
            if (victim == "entry")
                return apps->DeleteApp("Text", "Sort");
            delete (victim == "owner" ? owner.data() : victim == "menu" ? static_cast<QObject *>(tools) : apps);
        };
        const auto hear = [&](const char *name, auto *sender, auto which) {
            connect(sender, which, menu.data(), [&, name] {
                events << name;
                if (tools)
                    tools->rebuild();
                if (apps && name == "asked"_L1) // a preview there asks no more
                    (void)apps->launchCommand("Text", "Sort");
                if (signal == name)
                    deleteIt();
            });
        };
        hear("aboutToLaunch", tools.data(), &ToolsMenu::aboutToLaunch);
        hear("asked", apps.data(), &ExternalApps::placeholdersWanted);
        hear("started", apps.data(), &ExternalApps::AppFinished);
        hear("failed", apps.data(), &ExternalApps::launchFailed);
        hear("runFailed", tools.data(), &ToolsMenu::runFailed);
        hear("runFinished", tools.data(), &ToolsMenu::runFinished);
        connect(tools, &ToolsMenu::launched, menu,
                [&](const QString &, const QString &, bool ok) { events << "launched:" + QString::number(ok); });
        QStringList whenToolsWent;
        connect(tools, &QObject::destroyed, menu, [&] { whenToolsWent = outline(menu); });
        const auto deleteTheRest = qScopeGuard([&] { delete tools, delete apps, delete owner; }); // on every return

        if (victim == "owner" || victim == "catalogue") // shown for another first: the window moves to its new owner
            apps->ShowForm(0, window.get()), apps->ShowForm(0, owner);
        if (way == "pick" || way == "quote" || way == "run" || way == "slow")
            sort->trigger();
        if (way == "slow") {
            menu->findChild<QAction *>("lanyard-tool/Text/Quick")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(events.contains("runFinished"), 10000);
        } else if (way == "ExecuteApp" || way == "invoke")
            events << (way == "invoke" ? apps->invoke("ExecuteApp", "call", {"Text", "Sort"}).value("value")
                                       : QVariant(apps->ExecuteApp("Text", "Sort")))
                          .toString();
        else if (way == "startTool")
            events << (apps->startTool("Text", "Sort") ? "a run" : "no run");
        else if (way == "launchCommand")
            events << apps->launchCommand("Text", "Sort").error().detail();
        if (victim == "window") {
            window.reset();
            QVERIFY(!apps && !tools && !menu);
            QCOMPARE(whenToolsWent, QStringList{"Configure tools..."});
            return;
        }
        if (way == "-" || way == "slow") {
            deleteIt();
            if (tools) {
                tools->rebuild();
                tools->setShowProtected(true);
                tools->setEmptyText("Nothing");
                QVERIFY(!tools->externalApps());
            } else {
                QVERIFY(apps->AddApp("Text", "Count", "/bin/true", "", false));
            }
            if (sort)
                sort->trigger(); // deleted once back in the event loop
        }
        QCOMPARE(events.join(' '), told);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QString entries = !apps || !tools ? "" : victim == "entry" ? "No tools configured, " : "Text/Sort, ";
        QCOMPARE(outline(menu).join(", "), entries + "Configure tools...");
        QCOMPARE(UiTest::programListWindow() != nullptr, victim == "owner" && owner);
        QTRY_VERIFY_WITH_TIMEOUT(ProcessCensus::children().isEmpty(), 10000);
    }
};

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"

// SPDX-License-Identifier: MIT
// The catalogue through every way in: scripts run on the members directly and again, late-bound,
// through invoke() on an object the plugin made by its class name; one table of values the launch
// list cannot hold through every door that stores; the interface by name against the header.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/Recorder.h"
#include "ui/ModalDriver.h"

#include <Lanyard/ToolRun.h>
#include <Lanyard/ToolsMenu.h>

#include <QtTest>
#include <QtWidgets>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

struct Step
{
    QString kind, member;
    QVariantList args;
};

/// Steps "kind|Member|argument|..." joined by ';'. An argument is a number, "'" before digits
/// that are a text, "~" for no value, "[]" for an empty list, true, false, or else a text.
QList<Step> parse(const QString &script)
{
    QList<Step> steps;
    for (const QString &text : script.split(u';')) {
        QStringList f = text.split(u'|');
        Step step{f.takeFirst(), f.takeFirst(), {}};
        for (const QString &a : f) {
            bool number = false;
            const double value = a.toDouble(&number);
            step.args << (a == "~"                      ? QVariant()
                          : a == "[]"                   ? QVariant(QVariantList())
                          : a == "true" || a == "false" ? QVariant(a == "true")
                          : a.startsWith(u'\'')         ? QVariant(a.mid(1))
                          : number && a.contains(u'.')  ? QVariant(value)
                          : number                      ? QVariant(a.toInt())
                                                        : QVariant(a));
        }
        steps << step;
    }
    return steps;
}

using A = ExternalApps &;
using X = const QVariantList &;
qint16 n(const QVariant &v) { return qint16(v.toInt()); }
QString t(const QVariant &v) { return v.toString(); }

// The typed members, by "kind Member"; AppProtected as a late-bound caller sees it, true or false.
const QHash<QString, QVariant (*)(A, X)> direct{
    {"let MaxGroups", [](A a, X x) { return a.setMaxGroups(n(x[0])), QVariant(); }},
    {"let MaxApps", [](A a, X x) { return a.setMaxApps(n(x[0])), QVariant(); }},
    {"get EXTFile", [](A a, X) { return QVariant(a.EXTFile()); }},
    {"let EXTFile", [](A a, X x) { return a.setEXTFile(t(x[0])), QVariant(); }},
    {"get AppCount", [](A a, X x) { return QVariant(a.AppCount(x[0])); }},
    {"get GroupName", [](A a, X x) { return QVariant(a.GroupName(n(x[0]))); }},
    {"let GroupName", [](A a, X x) { return a.setGroupName(n(x[0]), t(x[1])), QVariant(); }},
    {"let ApplicationName", [](A a, X x) { return a.setApplicationName(x[0], n(x[1]), t(x[2])), QVariant(); }},
    {"get AppPath", [](A a, X x) { return QVariant(a.AppPath(x[0], x[1])); }},
    {"let AppPath", [](A a, X x) { return a.setAppPath(x[0], x[1], t(x[2])), QVariant(); }},
    {"get AppProtected", [](A a, X x) { return QVariant(a.AppProtected(x[0], x[1]) == -1); }},
    {"let AppProtected", [](A a, X x) { return a.setAppProtected(x[0], x[1], x[2].toBool()), QVariant(); }},
    {"get CmdLine", [](A a, X x) { return QVariant(a.CmdLine(x[0], x[1])); }},
    {"let CmdLine", [](A a, X x) { return a.setCmdLine(x[0], x[1], t(x[2])), QVariant(); }},
    {"get PlaceholderCount", [](A a, X) { return QVariant(a.PlaceholderCount()); }},
    {"get SearchString", [](A a, X x) { return QVariant(a.SearchString(n(x[0]))); }},
    {"get ReplaceString", [](A a, X x) { return QVariant(a.ReplaceString(x[0])); }},
    {"call AddApp", [](A a, X x) { return QVariant(a.AddApp(t(x[0]), t(x[1]), t(x[2]), t(x[3]), x[4].toBool())); }},
    {"call DeleteApp", [](A a, X x) { return a.DeleteApp(x[0], x[1]), QVariant(); }},
    {"call EditApp",
     [](A a, X x) {
         return a.EditApp(t(x[0]), t(x[1]), t(x[2]), t(x[3]), x[4].toBool(), x.value(5), x.value(6)), QVariant();
     }},
    {"call AddPlaceHolder", [](A a, X x) { return a.AddPlaceHolder(t(x[0]), t(x[1])), QVariant(); }},
};

/// Tools: Editor, Viewer (protected); Games: Chess; placeholders %FILE% and %USER%.
const QString fixture = "call|AddApp|Tools|Editor|/no/ed|-p %FILE%|false;call|AddApp|Tools|Viewer|/no/view||true;"
                        "call|AddApp|Games|Chess|/no/chess||false;call|AddPlaceHolder|%FILE%|/tmp/a b;"
                        "call|AddPlaceHolder|%USER%|bob";
const QStringList fixtureEntries{"Tools|Editor|/no/ed|-p %FILE%|0", "Tools|Viewer|/no/view||-1",
                                 "Games|Chess|/no/chess||0"};

/// What a script did after the fixture: each step's value ("-": none; "!N": error N), its
/// failures, the entries afterwards and the limits.
QStringList run(A apps, const QString &script, const std::function<std::pair<QVariant, QString>(const Step &)> &step)
{
    QStringList outcomes, failures;
    for (const Step &s : parse(fixture + u';' + script)) {
        const auto [value, failure] = step(s);
        outcomes << (!failure.isEmpty() ? u'!' + failure.section(u' ', 0, 0)
                     : value.isValid()  ? value.toString()
                                        : "-");
        failures << failure;
    }
    return {outcomes.mid(5).join(u','), failures.join(u'|'), dump(apps).join(u'\n'),
            QString::number(apps.MaxGroups()) + u'x' + QString::number(apps.MaxApps())};
}

} // namespace

class tst_ExternalApps : public QObject
{
    Q_OBJECT

    QPluginLoader m_plugin;
    QTemporaryDir m_dir;

    /// The object as a late-bound host gets it: from the plugin that names its class.
    std::unique_ptr<QObject> create()
    {
        QObject *object = nullptr;
        QMetaObject::invokeMethod(m_plugin.instance(), "create", Q_RETURN_ARG(QObject *, object),
                                  Q_ARG(QObject *, nullptr));
        return std::unique_ptr<QObject>(object);
    }

    /// Runs this test program as a host (see main): its output, or how it ended.
    static QString host(const QString &mode, const QString &list)
    {
        QProcess host;
        host.start(QCoreApplication::applicationFilePath(), {"--host", mode, list});
        if (!host.waitForFinished(60000) || host.exitStatus() != QProcess::NormalExit || host.exitCode() != 0)
            return u"ended with %1"_s.arg(host.exitCode());
        return QString::fromUtf8(host.readAllStandardOutput()).trimmed();
    }

    /// Puts @p entry into the add dialog (or the edit dialog of Tools/Editor) and chooses OK; what
    /// the boxes shown said, and then the dialog's state. The box that got the focus is then given
    /// "Fine" and OK chosen again.
    static QStringList throughTheDialog(A apps, const QStringList &entry, bool edit)
    {
        QStringList seen;
        apps.ShowForm();
        QWidget *window = UiTest::programListWindow();
        UiTest::whenModalShown("frmNewApp", [&](QWidget *dialog) {
            const auto box = [&](int i) {
                QWidget *w = dialog->findChild<QWidget *>(
                    QStringList{"cboGroup", "txtAppName", "txtApp", "txtCmdLine"}[i]);
                auto *combo = qobject_cast<QComboBox *>(w);
                return combo ? combo->lineEdit() : static_cast<QLineEdit *>(w);
            };
            const auto choose = [&] {
                QTimer watch;
                connect(&watch, &QTimer::timeout, [&] {
                    if (auto *message = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                        seen << message->objectName() + ": " + message->text();
                        message->close();
                    }
                });
                watch.start(5);
                QTest::mouseClick(dialog->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
            };
            auto *groups = dialog->findChild<QComboBox *>("cboGroup");
            for (int i = 0; !edit && i < groups->count(); ++i)
                seen << "offered " + groups->itemText(i);
            for (int i = 0; i < 4; ++i)
                box(i)->setText(entry[i]);
            choose();
            if (!dialog->isVisible())
                return;
            UiTest::backTo(dialog);
            int focus = 0;
            while (focus < 3 && !box(focus)->hasFocus() && !box(focus)->parentWidget()->hasFocus())
                ++focus;
            seen << u"%1:%2:%3"_s.arg(focus).arg(box(focus)->selectionStart()).arg(box(focus)->selectedText());
            for (int i = 0; i < 4; ++i)
                seen << box(i)->text(); // nothing typed is lost
            box(focus)->setText("Fine");
            choose();
            if (dialog->isVisible())
                dialog->close();
        });
        if (edit) {
            auto *tree = window->findChild<QTreeWidget *>("tvGroup");
            tree->scrollToItem(UiTest::itemOf(tree, "Editor"));
            UiTest::clickItem(UiTest::itemOf(tree, "Editor"));
        }
        QTest::mouseClick(window->findChild<QPushButton *>(edit ? "cmdEdit" : "cmdAddApp"), Qt::LeftButton);
        apps.HideForm();
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QDir dir(QStringLiteral(LANYARD_PLUGIN_DIR));
        for (const QString &file : dir.entryList(QDir::Files)) {
            QPluginLoader candidate(dir.filePath(file));
            const QJsonObject meta = candidate.metaData().value(u"MetaData").toObject();
            if (meta.value(u"className").toString() == u"Lanyard.ExternalApps") {
                QCOMPARE(meta.value(u"description").toString(),
                         "Vexa - External application launch / config utilities");
                m_plugin.setFileName(candidate.fileName());
            }
        }
        QVERIFY2(m_plugin.load(), "no plugin names the class Lanyard.ExternalApps");
    }

    void scripts_data();
    // Each script on the members and by name gives the values and errors expected and leaves the
    // same catalogue; a step that fails or only reads changes nothing; invoke() gives the error in
    // its result, not by errorOccurred.
    void scripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, outcomes);
        QFETCH(QStringList, edits);
        QFETCH(bool, lateBoundOnly);
        const std::unique_ptr<QObject> object = create();
        auto *apps = qobject_cast<ExternalApps *>(object.get());
        QSignalSpy told(apps, &ExternalApps::errorOccurred);
        const QStringList late = run(*apps, script, [&](const Step &s) {
            QVariantMap result;
            QMetaObject::invokeMethod(apps, "invoke", Q_RETURN_ARG(QVariantMap, result), Q_ARG(QString, s.member),
                                      Q_ARG(QString, s.kind), Q_ARG(QVariantList, s.args));
            return std::pair{result.value("value"), failureOf(result)};
        });
        QCOMPARE(late[0], outcomes);
        QStringList after = fixtureEntries;
        for (const QString &edit : edits) {
            if (edit.startsWith(u'+'))
                after << edit.mid(1);
            else if (edit.startsWith(u'-'))
                after.removeAt(edit.mid(1).toInt());
            else
                after[edit.section(u'=', 0, 0).toInt()] = edit.section(u'=', 1);
        }
        QCOMPARE(late[2], after.join(u'\n'));
        QCOMPARE(told.count(), 0);
        if (lateBoundOnly)
            return;
        ExternalApps typed;
        QCOMPARE(run(typed, script,
                     [&](const Step &s) {
                         QVariant value;
                         const QString failure = failureOf(
                             [&] { value = direct.value(s.kind + u' ' + s.member)(typed, s.args); });
                         return std::pair{value, failure};
                     }),
                 late);
    }

    void badInput_data();
    // One list of values the launch list cannot hold (or, read back, would not give back the
    // same) through every door that stores: AddApp, EditApp and the setters typed and by name,
    // the add and the edit dialog, `lanyard add` and `lanyard edit`, a list holding it. Each
    // refuses with the same error, names the character, and stores nothing.
    void badInput()
    {
        QFETCH(QStringList, entry);
        QFETCH(bool, latin1);
        QFETCH(int, error);
        QFETCH(QString, detail);
        QFETCH(QString, named);
        QFETCH(QString, file);
        QFETCH(QString, doors);
        const QStringList plain{"Tools", "Vi", "/bin/vi", ""};
        for (qsizetype i = entry.size(); i < 4; ++i)
            entry << plain[i];
        const QString list = m_dir.filePath("bad.lst"), stored = entry.join(u'|') + "|0";
        const QByteArray before = "Tools,Editor,/no/ed,,0\r\nGames,Caf" + QByteArray(latin1 ? "\xE9" : "\xC3\xA9")
                                  + ",/no/c,,0\r\n";
        // On a list of its own, Latin-1 or UTF-8, with a group slot that a removal vacated.
        const auto fresh = [&] {
            TestFiles::write(list, before);
            auto apps = std::make_unique<ExternalApps>();
            apps->setLanguage(Language::lEnglish); // library-wide: a script sets another
            apps->setEXTFile(list);
            apps->AddApp("Gone", "X", "/x", "", false);
            apps->DeleteApp("Gone", "X");
            return apps;
        };
        const QStringList untouched = dump(*fresh());
        QHash<QString, QString> failures; // the members', which the command line tells too

        struct Door
        {
            QString name;
            std::function<void(A)> typed;
            QVariantList byName;
        };
        QList<Door> members{{"AddApp",
                             [&](A a) { a.AddApp(entry[0], entry[1], entry[2], entry[3], false); },
                             {"AddApp", "call", entry[0], entry[1], entry[2], entry[3], false}},
                            {"EditApp",
                             [&](A a) { a.EditApp("Tools", "Editor", entry[0], entry[1], false, entry[2], entry[3]); },
                             {"EditApp", "call", "Tools", "Editor", entry[0], entry[1], false, entry[2], entry[3]}}};
        const char *setters[] = {"GroupName", "ApplicationName", "AppPath", "CmdLine"};
        for (int i = 0; i < 4; ++i) {
            const QString v = entry[i];
            if (v != plain[i])
                members << Door{u"set"_s + setters[i],
                                [=](A a) {
                                    i == 0   ? a.setGroupName(0, v)
                                    : i == 1 ? a.setApplicationName(0, 0, v)
                                    : i == 2 ? a.setAppPath(0, 0, v)
                                             : a.setCmdLine(0, 0, v);
                                },
                                QVariantList{setters[i], "let", 0} + (i ? QVariantList{0, v} : QVariantList{v})};
        }
        for (const Door &door : doors.contains(u'M') ? members : QList<Door>()) {
            auto typed = fresh(), late = fresh();
            const QString failure = failureOf([&] { door.typed(*typed); });
            QCOMPARE(failureOf(late->invoke(door.byName[0].toString(), door.byName[1].toString(), door.byName.mid(2))),
                     failure);
            QVERIFY2(failure.section(u' ', 0, 0).toInt() == error && failure.contains(detail),
                     qPrintable(door.name + ": " + failure));
            QVERIFY2(error ? dump(*typed) == untouched : door.name.startsWith(u"set") || dump(*typed).contains(stored),
                     qPrintable(door.name + ": " + dump(*typed).join(u", ")));
            failures[door.name] = failure;
        }

        for (const bool edit : {false, true}) {
            if (named.isEmpty())
                break;
            auto apps = fresh();
            const QStringList seen = throughTheDialog(*apps, entry, edit);
            QStringList expected = edit ? QStringList() : QStringList{"offered Tools", "offered Games"}, kept = entry;
            for (QString &text : kept)
                text = text.trimmed();
            if (named != "stored") {
                const QString c = named.section(u':', 2);
                const QStringList captions{"Program Group", "Program Name", "Program Path", "Command Line"};
                const uint code = c.size() == 2 ? QChar::surrogateToUcs4(c[0], c[1]) : c.isEmpty() ? 0 : c[0].unicode();
                expected
                    << (c.isEmpty()
                            ? u"msgIncompleteEntry: The program cannot be saved yet. Please fill in:\n\u2022 \u201cProgram Name\u201d"_s
                            : u"msgRefusedText: The launch list cannot hold \u201c%1\u201d (U+%2) in \u201c%3\u201d. Please change it and choose OK again."_s
                                  .arg(c, QString::number(code, 16).toUpper().rightJustified(4, u'0'),
                                       captions[named.left(1).toInt()]))
                    << named << entry;
                kept[named.left(1).toInt()] = "Fine";
            }
            // Half a character is shown as U+FFFD (see the report).
            const auto codeless = [&](QStringList texts) {
                for (QString &text : texts)
                    text.remove(named.size() == 5 && named[4].isSurrogate() ? text.indexOf(u" (U+") : -1, 9);
                return texts;
            };
            QCOMPARE(codeless(seen.mid(0, expected.size())), codeless(expected));
            // Taken once the named box holds "Fine", unless another box is refused too.
            QVERIFY2(seen.size() == expected.size() ? dump(*apps).contains(kept.join(u'|') + "|0")
                                                    : dump(*apps) == untouched,
                     qPrintable(dump(*apps).join(u", ")));
        }

        // The command line takes no NUL and no half character.
        for (const QString door : {"AddApp", "EditApp"}) {
            const QString all = entry.join(QString());
            if (!doors.contains(u'C') || all.contains(QChar()) || QString::fromUtf8(all.toUtf8()) != all)
                break;
            QVERIFY(TestFiles::write(list, before));
            const LanyardProcess::Result cli = LanyardProcess::run(
                door == "EditApp" ? QStringList{"--file", list, "edit", "--path=" + entry[2], "--cmd=" + entry[3], "--",
                                                "Tools", "Editor", entry[0], entry[1]}
                                  : QStringList{"--file", list, "add", "--"} + entry);
            QCOMPARE(cli.status, error ? 2 : 0);
            QCOMPARE(cli.err, error ? "lanyard: error 5: " + failures[door].section(u' ', 1) + u'\n' : QString());
            if (error)
                QCOMPARE(TestFiles::read(list), before);
        }

        // A list holding it: a line too long or a NUL byte make the file no launch list, which
        // is then not written; else what is read is not the value, unless the members store it.
        QVERIFY(TestFiles::write(list, before + entry.join(u',').toUtf8() + ",0\r\n"));
        const QByteArray holding = TestFiles::read(list);
        {
            ExternalApps apps;
            const QString failure = failureOf([&] { apps.setEXTFile(list); });
            QVERIFY2(file.startsWith(u"75") ? failure.startsWith(u"75 ") && failure.contains(file.mid(3))
                                            : failure.isEmpty(),
                     qPrintable(failure));
            QCOMPARE(dump(apps).contains(stored), file == "stored");
            QVERIFY(apps.AddApp("New", "App", "/new", "", false));
            if (!failure.isEmpty())
                QCOMPARE(LanyardProcess::run({"--file", list, "list"}).err,
                         "lanyard: error 75: " + failure.section(u' ', 1) + '\n');
        }
        if (file.startsWith(u"75"))
            QCOMPARE(TestFiles::read(list), holding);
    }

    // The interface by name is the meta-object, which invoke() reads: the public header's
    // members, each with every number of arguments it takes, its defaults left off; every
    // property notifies.
    void byNameIsTheHeader()
    {
        QFile header(LANYARD_SOURCE_DIR "/include/Lanyard/ExternalApps.h");
        QVERIFY(header.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(header.readAll());
        text = text.mid(text.indexOf("\npublic:"), text.indexOf("Q_SIGNALS:") - text.indexOf("\npublic:"));
        text.replace(QRegularExpression("= \\w+\\(\\)"), "= x");
        static const QRegularExpression declaration("^    (?![ /*]|Q_)[^(;]*?\\b(\\w+)\\(([^)]*)\\)",
                                                    QRegularExpression::MultilineOption);
        QMap<QString, QList<int>> typed, byName;
        for (const QRegularExpressionMatch &m : declaration.globalMatch(text)) {
            const int count = m.captured(2).trimmed().isEmpty() ? 0 : int(m.captured(2).count(u',')) + 1;
            for (int k = count - int(m.captured(2).count(u'=')); k <= count; ++k)
                typed[m.captured(1)] << k;
        }
        for (const char *cppOnly : {"ExternalApps", "entry", "invoke"})
            typed.remove(cppOnly);
        typed["iconUrl"].removeLast(); // its size is not reachable by name (see the report)
        const QMetaObject &meta = ExternalApps::staticMetaObject;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            QVERIFY2(meta.property(i).hasNotifySignal(), meta.property(i).name()); // for QML
            byName[meta.property(i).name()] << 0;
            if (meta.property(i).isWritable())
                byName[u"set"_s + QString(meta.property(i).name()).front().toUpper() + &meta.property(i).name()[1]]
                    << 1;
        }
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Slot)
                byName[meta.method(i).name()] << meta.method(i).parameterCount();
        }
        for (QList<int> &counts : byName)
            std::sort(counts.begin(), counts.end());
        QVERIFY(typed.size() > 35);
        QCOMPARE(byName, typed);
    }

    // What QML binds to tells its changes: both spellings of EXTFileChanged, showMissingProgram
    // only when it changes, GroupCount with each change of the catalogue.
    void changesAreTold()
    {
        ExternalApps apps;
        QSignalSpy upper(&apps, &ExternalApps::EXTFileChanged), lower(&apps, &ExternalApps::extFileChanged);
        QSignalSpy shown(&apps, &ExternalApps::showMissingProgramChanged),
            count(&apps, &ExternalApps::catalogueChanged);
        apps.setEXTFile(m_dir.filePath("none.lst"));
        apps.setShowMissingProgram(false);
        apps.setShowMissingProgram(false);
        QVERIFY(apps.AddApp("Games", "Chess", "/no/chess", "", true));
        QCOMPARE(QList<qsizetype>({upper.size(), lower.size(), shown.size(), count.size()}),
                 QList<qsizetype>({1, 1, 1, 2}));
        QCOMPARE(apps.metaObject()->property(apps.metaObject()->indexOfProperty("GroupCount")).notifySignal().name(),
                 "catalogueChanged");
    }

    // A placeholder's index is 16 bits: the 32767th is taken, the next one is an Overflow, and a
    // placeholder already there can still be given a new value.
    void placeholdersUpToTheLargestIndex()
    {
        ExternalApps apps;
        for (int i = 0; i < 32767; ++i)
            apps.AddPlaceHolder(u'%' + QString::number(i) + u'%', QString());
        QCOMPARE(errorOf([&] { apps.AddPlaceHolder("%ONE-MORE%", "x"); }), 6);
        apps.AddPlaceHolder("%32766%", "last");
        QCOMPARE(apps.ReplaceString(32766) + QString::number(apps.PlaceholderCount()), "last32767");
    }

    // The host's values are asked for right before they are used, by every way that uses them,
    // and nothing asks before then. A handler that itself previews is not asked again from there;
    // its own call goes ahead with the values there are; a by-name call it makes tells its error
    // by errorOccurred, while invoke() keeps its own.
    void placeholdersAskedRightBeforeUse_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("used");
        for (const char *way : {"launch", "late-bound-launch", "run-that-talks-back", "preview"})
            QTest::newRow(way) << way << "--file=/now/1";
        QTest::newRow("picker") << "picker"
                                << "%FILE%=/now/1";
    }
    void placeholdersAskedRightBeforeUse()
    {
        QFETCH(QString, way);
        QFETCH(QString, used);
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "Record", LANYARD_TEST_BIN_DIR "/recorder", "--file=%FILE%", false));
        apps.AddPlaceHolder("%FILE%", "at start-up");
        QStringList inner;
        QSignalSpy told(&apps, &ExternalApps::errorOccurred);
        connect(&apps, &ExternalApps::placeholdersWanted, &apps, [&] {
            apps.AddPlaceHolder("%FILE%", "/now/" + QString::number(inner.size() + 1));
            inner << apps.launchCommand("Tools", "Record")->arguments;
            QVariant path;
            QMetaObject::invokeMethod(&apps, "AppPath", Q_RETURN_ARG(QVariant, path), Q_ARG(QVariant, "Nope"),
                                      Q_ARG(QVariant, "Nope"));
        });
        const QString record = m_dir.filePath(way + ".record");
        qputenv("LANYARD_RECORDER_OUT", record.toLocal8Bit());
        QString seen;
        if (way == "launch") {
            QVERIFY(apps.ExecuteApp("Tools", "Record"));
        } else if (way == "late-bound-launch") {
            QCOMPARE(apps.invoke("ExecuteApp", "call", {"Tools", "Record"}),
                     (QVariantMap{{"value", true}, {"error", 0}, {"description", ""}, {"detail", ""}}));
        } else if (way == "run-that-talks-back") {
            ToolRun *run = apps.startTool("Tools", "Record");
            QVERIFY(run && QSignalSpy(run, &ToolRun::finished).wait(10000));
        } else if (way == "preview") {
            seen = apps.launchCommand("Tools", "Record")->arguments.join(u' ');
        } else {
            // The picker, as the user opens it: the program list window, Add, Insert Keyword.
            apps.ShowForm();
            UiTest::whenModalShown("frmNewApp", [&](QWidget *dialog) {
                UiTest::whenModalShown("frmPlaceholders", [&](QWidget *picker) {
                    const auto *list = picker->findChild<QTreeWidget *>();
                    for (int row = 0; row < list->topLevelItemCount(); ++row)
                        seen += list->topLevelItem(row)->text(0) + u'=' + list->topLevelItem(row)->text(1);
                    UiTest::press(Qt::Key_Escape);
                });
                QTest::mouseClick(dialog->findChild<QPushButton *>("cmdInsertKeyword"), Qt::LeftButton);
                UiTest::backTo(dialog);
                UiTest::press(Qt::Key_Escape);
            });
            QTest::mouseClick(UiTest::programListWindow()->findChild<QPushButton *>("cmdAddApp"), Qt::LeftButton);
            apps.HideForm();
        }
        QCOMPARE(seen.isEmpty() ? Record::waitFor(record).texts().join(u' ') : seen, used);
        QCOMPARE(inner, QStringList{"--file=/now/1"});
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.value(0).value(0), QVariant(9));
    }

    // The window's owner by name: nothing, or a widget; any other object or value is a type
    // mismatch, and no window opens. Shown again for another owner while open, the one window
    // moves to that owner; it goes with the object whose list it shows, not with another's.
    void ownerOfTheWindow_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<int>("error");
        for (const char *owner : {"none", "widget", "another-widget-while-open"})
            QTest::newRow(owner) << owner << 0;
        QTest::newRow("an-object-not-a-widget") << "object" << 13;
        QTest::newRow("a-text") << "main window" << 13;
    }
    void ownerOfTheWindow()
    {
        QFETCH(QString, owner);
        QFETCH(int, error);
        QWidget widget, other;
        QObject object;
        auto another = std::make_unique<ExternalApps>(), apps = std::make_unique<ExternalApps>();
        if (owner.startsWith("another"))
            apps->ShowForm(0, &other);
        const QVariant value = owner == "none"            ? QVariant()
                               : owner == "object"        ? QVariant::fromValue<QObject *>(&object)
                               : owner.contains("widget") ? QVariant::fromValue<QObject *>(&widget)
                                                          : QVariant(owner);
        QCOMPARE(failureOf(apps->invoke("ShowForm", "call", {0, value})).section(u' ', 0, 0).toInt(), error);
        const QPointer<QWidget> window = UiTest::programListWindow();
        QCOMPARE(window && window->isVisible(), error == 0);
        if (error)
            return;
        QCOMPARE(window->parentWidget(), owner == "none" ? nullptr : &widget);
        another.reset();
        QVERIFY(window && window->isVisible());
        apps.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!window || !window->isVisible(), 5000);
    }

    // Hosts whose application object is not what the windows need: under a QGuiApplication (a
    // QML host) showing the window is error 5, thrown or told, never an abort; an object that
    // outlives its application, with its window open or never shown, goes without a crash and
    // saves its list.
    void hostsOfOtherApplications()
    {
        QCOMPARE(host("gui", m_dir.filePath("gui.lst")),
                 "typed: 5 Invalid procedure call or argument: the program list window needs a QApplication\n"
                 "by name: 5 Invalid procedure call or argument: the program list window needs a QApplication");
        for (const QString mode : {"outlive-open", "outlive-closed"}) {
            QCOMPARE(host(mode, m_dir.filePath(mode + ".lst")), "application gone");
            QVERIFY(TestFiles::read(m_dir.filePath(mode + ".lst")).endsWith("\nTools,Editor,/usr/bin/ed,,0\r\n"));
        }
    }
};

void tst_ExternalApps::scripts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QStringList>("edits"); // of the fixture's entries: "+" appends, "-N" removes, "N=" replaces
    QTest::addColumn<bool>("lateBoundOnly");
    const auto row = [](const char *tag, const char *script, const char *outcomes, const QStringList &edits = {},
                        bool late = false) { QTest::newRow(tag) << script << outcomes << edits << late; };
    // A string is a name, looked up exactly (digits too); other values are 16-bit indexes.
    row("number-or-name",
        "get|AppCount|Tools;get|AppCount|'1;get|AppCount|5;get|AppCount|40000;get|GroupName|-1;"
        "get|AppPath|Tools|Editor;get|AppPath|Tools|editor",
        "2,0,!9,!6,!9,/no/ed,!9");
    row("members-that-fail-change-nothing",
        "let|MaxApps|0;let|MaxGroups|1;let|AppPath|0|Nope|x;let|GroupName|5|x;let|ApplicationName|70000|0|x;"
        "call|EditApp|Nope|Editor|Games|Editor|false;call|EditApp|Tools|Editor|Tools|E|false|[]",
        "!9,!9,!9,!9,!6,!9,!13");
    // Slots beyond the counts hold values, invisible to look-ups; AddApp takes such a slot anew.
    row("slots-beyond-the-counts",
        "let|ApplicationName|1|1|Hidden;get|AppPath|1|Hidden;let|CmdLine|1|1|old;call|AddApp|Games|Hidden|/h||false",
        "-,!9,-,true", {"+Games|Hidden|/h||0"});
    row("largest-tables", "let|MaxGroups|32767;let|MaxApps|32767;get|AppPath|32766|32766", "-,-,");
    row("more-groups-get-tables-at-once",
        "let|MaxApps|3;let|MaxGroups|8;let|CmdLine|7|2|last;get|CmdLine|7|2;get|AppPath|0|3", "-,-,-,last,!9");
    row("max-apps-one", "call|DeleteApp|Tools|Viewer;let|MaxApps|1", "-,-", {"-1"});
    // Only the groups in use count against a new limit, not the copy a removal leaves behind.
    row("max-apps-below-a-vacated-slot",
        "call|AddApp|Office|Writer|/w||false;call|AddApp|Office|Calc|/c||false;call|AddApp|Office|Draw|/d||false;"
        "call|DeleteApp|Games|Chess;call|DeleteApp|Office|Draw;let|MaxApps|2",
        "true,true,true,-,-,-", {"-2", "+Office|Writer|/w||0", "+Office|Calc|/c||0"});
    row("list-file", "let|EXTFile|/nonexistent/tools.lst;let|EXTFile|;get|EXTFile", "-,-,/nonexistent/tools.lst");
    row("add-updates-or-finds-a-limit",
        "call|AddApp|Tools|Editor|/new|-n|true;let|MaxGroups|2;call|AddApp|New|App|/x||false;let|MaxApps|2;"
        "call|AddApp|Tools|New|/x||false",
        "true,-,false,-,false", {"0=Tools|Editor|/new|-n|0"});
    // Deleting closes the gap; the last application takes its group along. The slot a removal
    // vacates at the end keeps what it held, as a fixed-size array would; deleting there, or
    // past a group's count, deletes nothing.
    row("delete", "call|DeleteApp|Tools|editor;call|DeleteApp|Games|Chess", "-,-", {"-2"});
    row("vacated-slot-keeps-its-group",
        "call|AddApp|Office|Writer|/w||false;call|DeleteApp|Games|Chess;get|GroupName|2;call|DeleteApp|2|0",
        "true,-,Office,-", {"-2", "+Office|Writer|/w||0"});
    row("delete-past-a-groups-count", "call|DeleteApp|Tools|Viewer;call|DeleteApp|0|1", "-,-", {"-1"});
    // A group slot taken anew keeps the old group's later records beyond its count, one whose
    // name was emptied too, also once its own last application is deleted.
    row("vacated-slots-keep-their-applications",
        "call|AddApp|Office|Writer|/w||false;call|AddApp|Office|Calc|/c||false;call|DeleteApp|Games|Chess;"
        "call|AddApp|New|First|/f||false;let|ApplicationName|2|1|;call|DeleteApp|New|First;get|AppPath|2|1",
        "true,true,-,true,-,-,/c", {"-2", "+Office|Writer|/w||0", "+Office|Calc|/c||0"});
    row("group-without-a-name-found-after-a-group-went",
        "call|AddApp||Plain|/p||false;call|DeleteApp|Tools|Editor;call|DeleteApp|Tools|Viewer;get|AppPath||Plain",
        "true,-,-,/p", {"-0", "-0", "+|Plain|/p||0"});
    // Editing: path and command stay unless given; a taken name, a full group.
    row("edit", "call|EditApp|Tools|Editor|Tools|Ed|true;call|EditApp|Tools|Viewer|Tools|Viewer|false|~|", "-,-",
        {"0=Tools|Ed|/no/ed|-p %FILE%|-1", "1=Tools|Viewer|/no/view||0"});
    row("edit-to-a-taken-name-keeps-both", "call|EditApp|Tools|Viewer|Tools|Editor|true", "-",
        {"1=Tools|Editor|/no/view||-1"});
    row("edit-into-a-full-group", "let|MaxApps|2;call|EditApp|Games|Chess|Tools|Chess|false", "-,-");
    // Placeholders: registered once without regard to case, the last spelling and value kept.
    row("placeholders",
        "call|AddPlaceHolder|%FILE%|new;get|ReplaceString|0;call|AddPlaceHolder|%file%|x;get|SearchString|0;"
        "get|ReplaceString|%user%;get|ReplaceString|'0;get|SearchString|-1;get|SearchString|2;get|ReplaceString|2",
        "-,new,-,%file%,bob,!9,!9,!9,!9");
    row("placeholder-case-beyond-ascii",
        "call|AddPlaceHolder|%\u00c4rger%|1;call|AddPlaceHolder|%\u00e4RGER%|2;get|PlaceholderCount", "-,-,3");
    row("what-only-a-late-bound-caller-writes",
        "GET|aPPcOUNT|Tools;let|AppProtected|Tools|0|0.4;get|AppProtected|Tools|0;let|GroupCount|3;"
        "let|MaxGroups|many;let|Language|lGerman;get|Language;let|Language|lEnglish",
        "2,-,true,!438,!13,-,1,-", {"0=Tools|Editor|/no/ed|-p %FILE%|-1"}, true);
    row("optional-arguments-left-off", "call|EditApp|Tools|Editor|Tools|Ed|false", "-",
        {"0=Tools|Ed|/no/ed|-p %FILE%|0"}, true);
}

void tst_ExternalApps::badInput_data()
{
    QTest::addColumn<QStringList>("entry"); // group, name, path, command; left off: Tools, Vi, /bin/vi, ""
    QTest::addColumn<bool>("latin1");       // into a Latin-1 list, else UTF-8
    QTest::addColumn<int>("error");         // of the members and the command line; 0: stored
    QTest::addColumn<QString>("detail");    // what their message says
    // What the dialog names: "box:position:character"; "stored"; "incomplete"; empty: no dialog
    QTest::addColumn<QString>("named");
    // Reading a list holding it: "75 what is wrong"; "stored": read as itself; empty: read, not as itself.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("doors");
    const auto row = [](const char *tag, const QStringList &entry, bool latin1, int error, const char *detail,
                        const QString &named, const char *file = "", const char *doors = "MCF") {
        QTest::newRow(tag) << entry << latin1 << error << QString::fromUtf8(detail) << named << QString::fromUtf8(file)
                           << QString::fromLatin1(doors);
    };
    const QString high(QChar(0xD83D)), low(QChar(0xDE00)), pair = high + low, T = "Tools", V = "Vi", P = "/bin/vi";
    const char *comma = "a comma ends a field", *lineBreak = "a line break ends an entry";
    row("comma-in-group", {"a,b"}, false, 5, comma, "0:1:,");
    row("comma-in-name-after-a-pair", {T, pair + ",x"}, false, 5, comma, "1:2:,");
    row("comma-in-a-browsed-path", {T, V, "/tmp/a,b/tool"}, false, 5, comma, "2:6:,");
    row("cr-in-name", {T, "a\rb"}, false, 5, lineBreak, "1:1:\r");
    row("lf-in-command", {T, V, P, "a\nb"}, false, 5, lineBreak, "3:1:\n");
    row("nul-in-name", {T, QString(QChar(0)) + "Vi"}, false, 5, "cannot hold a NUL", "1:0:" + QString(QChar(0)),
        "75 holds NUL bytes");
    row("blank-before-group", {" Tools"}, false, 5, "at either end", "stored");
    row("tab-after-name", {T, "E\t"}, false, 5, "at either end", "stored");
    row("blank-before-path", {T, V, " /x"}, false, 5, "at either end", "stored");
    row("group-opening-a-comment", {";Tools"}, false, 5, "would make its lines comments", "0:0:;");
    row("comment-mark-after-blanks", {" \t;Tools"}, false, 5, "at either end", "0:2:;");
    row("mark-after-a-letter", {"T;ools"}, false, 0, "", "stored", "stored");
    row("nothing-refused", {T, "Caf\u00e9; Bar", P, "-x ;"}, false, 0, "", "stored", "stored");
    row("high-half-at-the-end", {T, V + high}, false, 5, "a broken character (U+D83D)", "1:2:" + high);
    row("high-half-before-a-letter", {high + "a" + pair}, false, 5, "(U+D83D)", "0:0:" + high);
    row("two-high-halves", {high + pair}, false, 5, "(U+D83D)", "0:0:" + high);
    row("low-half-at-the-start", {low + "a"}, false, 5, "(U+DE00)", "0:0:" + low);
    row("low-half-after-a-letter", {pair + "a" + low}, false, 5, "(U+DE00)", "0:3:" + low);
    row("low-half-after-a-pair", {pair + low}, false, 5, "(U+DE00)", "0:2:" + low);
    row("half-ends-the-group", {"G" + QString(QChar(0xD800))}, false, 5, "(U+D800)", "0:1:" + QString(QChar(0xD800)));
    row("name-beginning-with-half", {T, QChar(0xDC00) + "x"_L1}, false, 5, "a broken character (U+DC00)",
        "1:0:" + QString(QChar(0xDC00)));
    row("half-leads-the-path", {T, V, QChar(0xD800) + "/bin"_L1}, false, 5, "(U+D800)",
        "2:0:" + QString(QChar(0xD800)));
    row("half-in-the-command", {T, V, P, "-x" + QString(QChar(0xD800))}, false, 5, "(U+D800)",
        "3:2:" + QString(QChar(0xD800)));
    row("byte-in-a-utf-8-path", {T, V, "/caf" + QString(QChar(0xDCE9))}, false, 5, "cannot hold the byte 0xE9",
        "2:4:" + QString(QChar(0xDCE9)));
    row("byte-first-in-a-utf-8-path", {T, V, QChar(0xDCE9) + "t"_L1 + QChar(0xDCE9)}, false, 5,
        "cannot hold the byte 0xE9", "2:0:" + QString(QChar(0xDCE9)));
    row("byte-in-a-latin-1-name", {T, "caf" + QString(QChar(0xDCE9))}, true, 5, "names are text",
        "1:3:" + QString(QChar(0xDCE9)));
    row("byte-in-a-latin-1-path", {T, V, QChar(0xDCE9) + "/bin"_L1}, true, 0, "", "stored");
    row("beyond-latin-1", {T, "Man\u0153uvre"}, true, 5, "cannot hold \u201c\u0153\u201d", "1:3:\u0153");
    row("beyond-latin-1-first", {T, "\u0153uvre"}, true, 5, "cannot hold \u201c\u0153\u201d", "1:0:\u0153");
    row("latin-1-to-its-end", {"\u00ff\u0100"}, true, 5, "Latin-1", "0:1:\u0100");
    row("pair-beyond-latin-1", {"Fun" + pair + "!"}, true, 5, "Latin-1", "0:3:" + pair);
    row("pair-at-the-end", {"Fun" + pair}, true, 5, "Latin-1", "0:3:" + pair);
    row("field-end-before-latin-1", {"C\u0153ur", "a,b"}, true, 5, "", "1:1:,");
    // Doors that take it today (see the report): a name that reads back as no entry, a line no
    // list can read.
    row("empty-name", {T, ""}, false, 0, "", "1:-1:", "", "F");
    row("over-long-path", {T, V, QString(70000, u'x')}, false, 0, "", "", "75 a line is longer than 65536 bytes", "F");
}

int main(int argc, char *argv[])
{
    // As a host: "gui" has only a QGuiApplication and asks for the program list window directly
    // and by name; "outlive-open" and "outlive-closed" declare the object before the
    // QApplication, add an entry, and let the application end with the window open or never
    // shown. The object's release must save the list.
    if (argc == 4 && qstrcmp(argv[1], "--host") == 0) {
        const QString mode = QString::fromLatin1(argv[2]);
        if (mode == "gui") {
            QGuiApplication app(argc, argv);
            ExternalApps apps;
            std::printf("typed: %s\n", qPrintable(failureOf([&] { apps.ShowForm(); })));
            std::printf("by name: %s\n", qPrintable(failureOf(apps.invoke("ShowForm", "call"))));
            return 0;
        }
        ExternalApps apps;
        {
            QApplication app(argc, argv);
            apps.setEXTFile(QString::fromLocal8Bit(argv[3]));
            apps.AddApp("Tools", "Editor", "/usr/bin/ed", "", false);
            if (mode == "outlive-open")
                apps.ShowForm();
        }
        std::printf("application gone\n");
        return 0;
    }
    QApplication app(argc, argv);
    tst_ExternalApps test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_externalapps.moc"

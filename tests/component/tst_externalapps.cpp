// SPDX-License-Identifier: MIT
// The catalogue by name from its plugin, bad input through every door, the interface by name.
#include "common/Catalogue.h"
#include "common/Files.h"

#include <Lanyard/ToolRun.h>
#include <Lanyard/ToolsMenu.h>

#include <QtTest>
#include <QtWidgets>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

/// Each step's value ("-": none; "!N": error N) of "kind|Member|argument|...;..." through invoke()
/// after a fixture. "'" makes digits a text, "~" no value, "[]" an empty list.
QString run(ExternalApps &apps, const QString &script)
{
    QStringList outcomes;
    for (const QString &text :
         ("call|AddApp|Tools|Editor|/no/ed|-p %FILE%|false;call|AddApp|Tools|Viewer|/no/view||true;"
          "call|AddApp|Games|Chess|/no/chess||false;call|AddPlaceHolder|%FILE%|/tmp/a b;"
          "call|AddPlaceHolder|%USER%|bob;"_L1
          + script)
             .split(u';')) {
        QStringList f = text.split(u'|');
        const QString kind = f.takeFirst(), member = f.takeFirst();
        QVariantList args;
        for (const QString &a : f) {
            bool number = false;
            const double value = a.toDouble(&number);
            args << (a == "~"                      ? QVariant()
                     : a == "[]"                   ? QVariant(QVariantList())
                     : a == "true" || a == "false" ? QVariant(a == "true")
                     : a.startsWith(u'\'')         ? QVariant(a.mid(1))
                     : number && a.contains(u'.')  ? QVariant(value)
                     : number                      ? QVariant(a.toInt())
                                                   : QVariant(a));
        }
        QVariantMap result; // invoke() is itself reached by name
        QMetaObject::invokeMethod(&apps, "invoke", Q_RETURN_ARG(QVariantMap, result), Q_ARG(QString, member),
                                  Q_ARG(QString, kind), Q_ARG(QVariantList, args));
        outcomes << (result.value("error").toInt()     ? u'!' + result.value("error").toString()
                     : result.value("value").isValid() ? result.value("value").toString()
                                                       : "-");
    }
    return outcomes.mid(5).join(u',');
}

} // namespace

class tst_ExternalApps : public QObject
{
    Q_OBJECT

    QPluginLoader m_plugin;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        for (const QFileInfo &file : QDir(QStringLiteral(LANYARD_PLUGIN_DIR)).entryInfoList(QDir::Files)) {
            m_plugin.setFileName(file.filePath());
            if (m_plugin.metaData().value("MetaData").toObject().value("className") == "Lanyard.ExternalApps")
                break;
        }
        QCOMPARE(m_plugin.metaData().value("MetaData").toObject().value("description"),
                 "Vexa - External application launch / config utilities");
        QVERIFY(m_plugin.load() && m_dir.isValid());
    }

    void scripts_data();
    // Values and errors as expected, the catalogue as expected; invoke() tells no errorOccurred.
    void scripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, outcomes);
        QFETCH(QStringList, edits);
        QObject *object = nullptr;
        QMetaObject::invokeMethod(m_plugin.instance(), "create", Q_RETURN_ARG(QObject *, object),
                                  Q_ARG(QObject *, nullptr));
        const std::unique_ptr<ExternalApps> apps(qobject_cast<ExternalApps *>(object));
        QSignalSpy told(apps.get(), &ExternalApps::errorOccurred);
        QCOMPARE(run(*apps, script), outcomes);
        QStringList after{"Tools|Editor|/no/ed|-p %FILE%|0", "Tools|Viewer|/no/view||-1", "Games|Chess|/no/chess||0"};
        for (const QString &edit : edits) {
            if (edit.startsWith(u'+'))
                after << edit.mid(1);
            else if (edit.startsWith(u'-'))
                after.removeAt(edit.mid(1).toInt());
            else
                after[edit.section(u'=', 0, 0).toInt()] = edit.section(u'=', 1);
        }
        QCOMPARE(dump(*apps), after);
        QCOMPARE(told.count(), 0);
    }

    void badInput_data();
    // What a list cannot hold, through the members (typed and by name) and a file: each refuses alike.
    void badInput()
    {
        QFETCH(QStringList, entry);
        QFETCH(bool, latin1);
        QFETCH(int, error);
        QFETCH(QString, detail);
        QFETCH(QString, file);
        QFETCH(bool, members);
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
        QList<QVariantList> doors{
            {"AddApp", "call", entry[0], entry[1], entry[2], entry[3], false},
            {"EditApp", "call", "Tools", "Editor", entry[0], entry[1], false, entry[2], entry[3]}};
        const char *setters[] = {"GroupName", "ApplicationName", "AppPath", "CmdLine"};
        for (int i = 0; i < 4; ++i) {
            if (entry[i] != plain[i])
                doors << QVariantList{setters[i], "let", 0} + (i ? QVariantList{0, entry[i]} : QVariantList{entry[i]});
        }
        for (const QVariantList &door : members ? doors : QList<QVariantList>()) {
            auto apps = fresh(), typed = fresh();
            const QString failure = failureOf(apps->invoke(door[0].toString(), door[1].toString(), door.mid(2)));
            if (door[1] == "call") // typed too
                QCOMPARE(failureOf([&] {
                             door[0] == "AddApp"
                                 ? void(typed->AddApp(entry[0], entry[1], entry[2], entry[3], false))
                                 : typed->EditApp("Tools", "Editor", entry[0], entry[1], false, entry[2], entry[3]);
                         }),
                         failure);
            QVERIFY2(failure.section(u' ', 0, 0).toInt() == error && failure.contains(detail), qPrintable(failure));
            QVERIFY2(error ? dump(*apps) == untouched : door[1] == "let" || dump(*apps).contains(stored),
                     qPrintable(dump(*apps).join(u", ")));
        }
        // A file holding it: no list (and not written), or read as itself only when members store it.
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
        }
        if (file.startsWith(u"75"))
            QCOMPARE(TestFiles::read(list), holding);
    }

    // Each public member reachable by name, each by-name one public; properties tell their changes.
    void byNameIsTheHeader()
    {
        QFile header(LANYARD_SOURCE_DIR "/include/Lanyard/ExternalApps.h");
        QVERIFY(header.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(header.readAll());
        text = text.mid(text.indexOf("\npublic:"), text.indexOf("Q_SIGNALS:") - text.indexOf("\npublic:"));
        QStringList typed, byName;
        QMultiMap<QString, QStringList> parameters;
        for (const auto &m : QRegularExpression("^    (?![ /*]|Q_)[^(;]*?\\b(\\w+)\\(([^;{]*)\\)[^;{)]*[;{]",
                                                QRegularExpression::MultilineOption)
                                 .globalMatch(text)) {
            typed << m.captured(1);
            parameters.insert(m.captured(1), m.captured(2).simplified().split(',', Qt::SkipEmptyParts));
        }
        typed.removeDuplicates();
        for (const char *cppOnly : {"ExternalApps", "entry", "invoke"})
            typed.removeAll(cppOnly);
        QVERIFY(typed.size() > 35);
        ExternalApps apps;
        for (const QString &name : typed) { // too many arguments: found, not run
            const auto found = [&](const QString &member, const char *kind) {
                return apps.invoke(member, kind, QVariantList(20)).value("error") == int(ErrorCode::WrongArgumentCount);
            };
            QVERIFY2(name.startsWith("set") ? found(name.mid(3), "let") : found(name, "get") || found(name, "call"),
                     qPrintable("not reachable by name: " + name));
        }
        const QMetaObject &meta = ExternalApps::staticMetaObject;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
            byName << meta.property(i).name();
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Slot)
                byName << meta.method(i).name();
        }
        for (const QString &name : byName)
            QVERIFY2(typed.contains(name), qPrintable("by name, not public: " + name));
        // By name, every count of arguments the declaration takes, its defaults left off or not.
        QMultiHash<QString, int> counts;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            counts.insert(meta.method(i).name(), meta.method(i).parameterCount());
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
            const qsizetype all = it->size(), required = all - it->filter(QStringLiteral("=")).size();
            for (qsizetype n = required; n <= all && counts.contains(it.key()); ++n)
                QVERIFY2(counts.contains(it.key(), int(n)),
                         qPrintable(it.key() + " by name with " + QString::number(n)));
        }
        for (const QMetaObject *m : {&meta, &ToolsMenu::staticMetaObject, &ToolRun::staticMetaObject}) {
            for (int i = m->propertyOffset(); i < m->propertyCount(); ++i) // a QML binding follows each
                QVERIFY2(m->property(i).hasNotifySignal() || m->property(i).isConstant(), m->property(i).name());
        }
        QSignalSpy upper(&apps, &ExternalApps::EXTFileChanged), lower(&apps, &ExternalApps::extFileChanged);
        QSignalSpy shown(&apps, &ExternalApps::showMissingProgramChanged),
            count(&apps, &ExternalApps::catalogueChanged);
        apps.setEXTFile(m_dir.filePath("none.lst"));
        apps.setShowMissingProgram(false);
        apps.setShowMissingProgram(false);
        QVERIFY(apps.AddApp("Games", "Chess", "/no/chess", "", true));
        QCOMPARE(QList<qsizetype>({upper.size(), lower.size(), shown.size(), count.size()}),
                 QList<qsizetype>({1, 1, 1, 2}));
        QCOMPARE(meta.property(meta.indexOfProperty("GroupCount")).notifySignal().name(), "catalogueChanged");
    }

    // 32767 placeholders; one more is an Overflow, one there still takes a value.
    void placeholdersUpToTheLargestIndex()
    {
        ExternalApps apps;
        for (int i = 0; i < 32767; ++i)
            apps.AddPlaceHolder(u'%' + QString::number(i) + u'%', QString());
        QCOMPARE(errorOf([&] { apps.AddPlaceHolder("%ONE-MORE%", "x"); }), 6);
        apps.AddPlaceHolder("%32766%", "last");
        QCOMPARE(apps.ReplaceString(32766) + QString::number(apps.PlaceholderCount()), "last32767");
    }
};

void tst_ExternalApps::scripts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QStringList>("edits"); // of the fixture's entries: "+" appends, "-N" removes, "N=" replaces
    const auto row = [](const char *tag, const char *script, const char *outcomes, const QStringList &edits = {}) {
        QTest::newRow(tag) << script << outcomes << edits;
    };
    // A string is a name, looked up exactly (digits too); other values are 16-bit indexes.
    row("number-or-name",
        "get|AppCount|Tools;get|AppCount|'1;get|AppCount|5;get|AppCount|40000;get|GroupName|-1;"
        "get|AppPath|Tools|Editor;get|AppPath|Tools|editor",
        "2,0,!9,!6,!9,/no/ed,!9");
    row("members-that-fail-change-nothing",
        "let|MaxApps|0;let|MaxGroups|1;let|AppPath|0|Nope|x;let|GroupName|5|x;let|ApplicationName|70000|0|x;"
        "call|EditApp|Nope|Editor|Games|Editor|false;call|EditApp|Tools|Editor|Tools|E|false|[]",
        "!9,!9,!9,!9,!6,!9,!13");
    row("slots-beyond-the-counts",
        "let|ApplicationName|1|1|Hidden;get|AppPath|1|Hidden;let|CmdLine|1|1|old;call|AddApp|Games|Hidden|/h||false",
        "-,!9,-,true", {"+Games|Hidden|/h||0"});
    row("largest-tables", "let|MaxGroups|32767;let|MaxApps|32767;get|AppPath|32766|32766", "-,-,");
    row("more-groups-get-tables-at-once",
        "let|MaxApps|3;let|MaxGroups|8;let|CmdLine|7|2|last;get|CmdLine|7|2;get|AppPath|0|3", "-,-,-,last,!9");
    row("max-apps-one", "call|DeleteApp|Tools|Viewer;let|MaxApps|1", "-,-", {"-1"});
    row("max-apps-below-a-vacated-slot",
        "call|AddApp|Office|Writer|/w||false;call|AddApp|Office|Calc|/c||false;call|AddApp|Office|Draw|/d||false;"
        "call|DeleteApp|Games|Chess;call|DeleteApp|Office|Draw;let|MaxApps|2",
        "true,true,true,-,-,-", {"-2", "+Office|Writer|/w||0", "+Office|Calc|/c||0"});
    row("list-file", "let|EXTFile|/nonexistent/tools.lst;let|EXTFile|;get|EXTFile", "-,-,/nonexistent/tools.lst");
    row("add-updates-or-finds-a-limit",
        "call|AddApp|Tools|Editor|/new|-n|true;let|MaxGroups|2;call|AddApp|New|App|/x||false;let|MaxApps|2;"
        "call|AddApp|Tools|New|/x||false",
        "true,-,false,-,false", {"0=Tools|Editor|/new|-n|0"});
    // A vacated slot keeps what it held; deleting there or past a group's count deletes nothing.
    row("delete", "call|DeleteApp|Tools|editor;call|DeleteApp|Games|Chess", "-,-", {"-2"});
    row("vacated-slot-keeps-its-group",
        "call|AddApp|Office|Writer|/w||false;call|DeleteApp|Games|Chess;get|GroupName|2;call|DeleteApp|2|0",
        "true,-,Office,-", {"-2", "+Office|Writer|/w||0"});
    row("delete-past-a-groups-count", "call|DeleteApp|Tools|Viewer;call|DeleteApp|0|1", "-,-", {"-1"});
    row("vacated-slots-keep-their-applications",
        "call|AddApp|Office|Writer|/w||false;call|AddApp|Office|Calc|/c||false;call|DeleteApp|Games|Chess;"
        "call|AddApp|New|First|/f||false;let|ApplicationName|2|1|;call|DeleteApp|New|First;get|AppPath|2|1",
        "true,true,-,true,-,-,/c", {"-2", "+Office|Writer|/w||0", "+Office|Calc|/c||0"});
    row("group-without-a-name-found-after-a-group-went",
        "call|AddApp||Plain|/p||false;call|DeleteApp|Tools|Editor;call|DeleteApp|Tools|Viewer;get|AppPath||Plain",
        "true,-,-,/p", {"-0", "-0", "+|Plain|/p||0"});
    // Editing: path and command stay unless given (a left-off argument too); a taken name, a full group.
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
        "2,-,true,!438,!13,-,1,-", {"0=Tools|Editor|/no/ed|-p %FILE%|-1"});
}

void tst_ExternalApps::badInput_data()
{
    QTest::addColumn<QStringList>("entry"); // group, name, path, command; left off: Tools, Vi, /bin/vi, ""
    QTest::addColumn<bool>("latin1");       // into a Latin-1 list, else UTF-8
    QTest::addColumn<int>("error");         // of the members; 0: stored
    QTest::addColumn<QString>("detail");    // what their message says
    // Reading a list holding it: "75 what is wrong"; "stored": read as itself; empty: read, not as itself.
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("members");
    const auto row = [](const char *tag, const QStringList &entry, bool latin1, int error, const char *detail,
                        const char *file = "", bool members = true) {
        QTest::newRow(tag) << entry << latin1 << error << QString::fromUtf8(detail) << QString::fromUtf8(file)
                           << members;
    };
    const QString high(QChar(0xD83D)), low(QChar(0xDE00)), pair = high + low, T = "Tools", V = "Vi", P = "/bin/vi";
    const QString half(QChar(0xD800)), byte(QChar(0xDCE9));
    const char *comma = "a comma ends a field", *lineBreak = "a line break ends an entry", *ends = "at either end";
    row("comma-in-group", {"a,b"}, false, 5, comma);
    row("comma-in-name-after-a-pair", {T, pair + ",x"}, false, 5, comma);
    row("comma-in-a-browsed-path", {T, V, "/tmp/a,b/tool"}, false, 5, comma);
    row("cr-in-name", {T, "a\rb"}, false, 5, lineBreak);
    row("lf-in-command", {T, V, P, "a\nb"}, false, 5, lineBreak);
    row("nul-in-name", {T, QString(QChar(0)) + "Vi"}, false, 5, "cannot hold a NUL", "75 holds NUL bytes");
    row("blank-before-group", {" Tools"}, false, 5, ends);
    row("tab-after-name", {T, "E\t"}, false, 5, ends);
    row("blank-before-path", {T, V, " /x"}, false, 5, ends);
    row("group-opening-a-comment", {";Tools"}, false, 5, "would make its lines comments");
    row("comment-mark-after-blanks", {" \t;Tools"}, false, 5, ends);
    row("mark-after-a-letter", {"T;ools"}, false, 0, "", "stored");
    row("nothing-refused", {T, "Caf\u00e9; Bar", P, "-x ;"}, false, 0, "", "stored");
    row("high-half-at-the-end", {T, V + high}, false, 5, "a broken character (U+D83D)");
    row("high-half-before-a-letter", {high + "a" + pair}, false, 5, "(U+D83D)");
    row("two-high-halves", {high + pair}, false, 5, "(U+D83D)");
    row("low-half-at-the-start", {low + "a"}, false, 5, "(U+DE00)");
    row("low-half-after-a-letter", {pair + "a" + low}, false, 5, "(U+DE00)");
    row("low-half-after-a-pair", {pair + low}, false, 5, "(U+DE00)");
    row("half-ends-the-group", {"G" + half}, false, 5, "(U+D800)");
    row("name-beginning-with-half", {T, QChar(0xDC00) + "x"_L1}, false, 5, "a broken character (U+DC00)");
    row("half-leads-the-path", {T, V, half + "/bin"}, false, 5, "(U+D800)");
    row("half-in-the-command", {T, V, P, "-x" + half}, false, 5, "(U+D800)");
    row("byte-in-a-utf-8-path", {T, V, "/caf" + byte}, false, 5, "cannot hold the byte 0xE9");
    row("byte-first-in-a-utf-8-path", {T, V, byte + "t" + byte}, false, 5, "cannot hold the byte 0xE9");
    row("byte-in-a-latin-1-name", {T, "caf" + byte}, true, 5, "names are text");
    row("byte-in-a-latin-1-path", {T, V, byte + "/bin"}, true, 0, "");
    row("beyond-latin-1", {T, "Man\u0153uvre"}, true, 5, "cannot hold \u201c\u0153\u201d");
    row("beyond-latin-1-first", {T, "\u0153uvre"}, true, 5, "cannot hold \u201c\u0153\u201d");
    row("latin-1-to-its-end", {"\u00ff\u0100"}, true, 5, "Latin-1");
    row("pair-beyond-latin-1", {"Fun" + pair + "!"}, true, 5, "Latin-1");
    row("pair-at-the-end", {"Fun" + pair}, true, 5, "Latin-1");
    row("field-end-before-latin-1", {"C\u0153ur", "a,b"}, true, 5, "");
    // Only the file refuses these (see the report).
    row("empty-name", {T, ""}, false, 0, "", "", false);
    row("over-long-path", {T, V, QString(70000, u'x')}, false, 0, "", "75 a line is longer than 65536 bytes", false);
}

QTEST_MAIN(tst_ExternalApps)

#include "tst_externalapps.moc"

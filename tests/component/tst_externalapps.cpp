// SPDX-License-Identifier: MIT
// The catalogue through both ways in. Each script runs on the members directly and again,
// late-bound, through invoke() on an object the plugin created by its class name; both must
// give the expected value or error and leave the same catalogue, and a step that fails or only
// reads changes nothing.
#include "common/Catalogue.h"
#include "common/Files.h"
#include "common/Recorder.h"
#include "ui/ModalDriver.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Lanyard;

namespace {

struct Step
{
    QString member;
    QString kind;
    QVariantList args;
};
using Script = QList<Step>;

Step get(const char *member, const QVariantList &args = {})
{
    return {QString::fromLatin1(member), QStringLiteral("get"), args};
}
Step let(const char *member, const QVariantList &args)
{
    return {QString::fromLatin1(member), QStringLiteral("let"), args};
}
Step call(const char *member, const QVariantList &args)
{
    return {QString::fromLatin1(member), QStringLiteral("call"), args};
}

struct Row
{
    Script script;                        ///< the last step gives the value or the error
    QVariant value;                       ///< of the last step
    int error = 0;                        ///< of the last step
    std::optional<QStringList> catalogue; ///< afterwards; none: as before the last step
    bool lateBoundOnly = false;           ///< a script only a late-bound caller can write
};

/// Tools: Editor, Viewer (protected); Games: Chess; placeholders %FILE% and %USER%.
const Script fixture{call("AddApp", {"Tools", "Editor", "/no/ed", "-p %FILE%", false}),
                     call("AddApp", {"Tools", "Viewer", "/no/view", "", true}),
                     call("AddApp", {"Games", "Chess", "/no/chess", "", false}),
                     call("AddPlaceHolder", {"%FILE%", "/tmp/a b"}), call("AddPlaceHolder", {"%USER%", "bob"})};
const QStringList fixtureEntries{"Tools|Editor|/no/ed|-p %FILE%|0", "Tools|Viewer|/no/view||-1",
                                 "Games|Chess|/no/chess||0"};

using Args = QVariantList;
using DirectCall = QVariant (*)(ExternalApps &, const Args &);
qint16 n(const QVariant &value) { return qint16(value.toInt()); }
QString t(const QVariant &value) { return value.toString(); }

// The typed members, by "member kind".
const QHash<QString, DirectCall> directCalls{
    {"MaxGroups let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setMaxGroups(n(x[0]));
         return {};
     }},
    {"MaxApps let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setMaxApps(n(x[0]));
         return {};
     }},
    {"EXTFile get", [](ExternalApps &a, const Args &) -> QVariant { return a.EXTFile(); }},
    {"EXTFile let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setEXTFile(t(x[0]));
         return {};
     }},
    {"AppCount get", [](ExternalApps &a, const Args &x) -> QVariant { return a.AppCount(x[0]); }},
    {"GroupName get", [](ExternalApps &a, const Args &x) -> QVariant { return a.GroupName(n(x[0])); }},
    {"GroupName let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setGroupName(n(x[0]), t(x[1]));
         return {};
     }},
    {"ApplicationName let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setApplicationName(x[0], n(x[1]), t(x[2]));
         return {};
     }},
    {"AppPath get", [](ExternalApps &a, const Args &x) -> QVariant { return a.AppPath(x[0], x[1]); }},
    {"AppPath let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setAppPath(x[0], x[1], t(x[2]));
         return {};
     }},
    // Stored as -1 and 0; late-bound true and false.
    {"AppProtected get", [](ExternalApps &a, const Args &x) -> QVariant { return a.AppProtected(x[0], x[1]) == -1; }},
    {"AppProtected let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setAppProtected(x[0], x[1], x[2].toBool());
         return {};
     }},
    {"CmdLine get", [](ExternalApps &a, const Args &x) -> QVariant { return a.CmdLine(x[0], x[1]); }},
    {"CmdLine let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setCmdLine(x[0], x[1], t(x[2]));
         return {};
     }},
    {"PlaceholderCount get", [](ExternalApps &a, const Args &) -> QVariant { return a.PlaceholderCount(); }},
    {"SearchString get", [](ExternalApps &a, const Args &x) -> QVariant { return a.SearchString(n(x[0])); }},
    {"ReplaceString get", [](ExternalApps &a, const Args &x) -> QVariant { return a.ReplaceString(x[0]); }},
    {"Language get", [](ExternalApps &a, const Args &) -> QVariant { return int(a.Language()); }},
    {"Language let",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.setLanguage(Language(x[0].toInt()));
         return {};
     }},
    {"AddApp call",
     [](ExternalApps &a, const Args &x) -> QVariant {
         return a.AddApp(t(x[0]), t(x[1]), t(x[2]), t(x[3]), x[4].toBool());
     }},
    {"DeleteApp call",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.DeleteApp(x[0], x[1]);
         return {};
     }},
    {"EditApp call",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.EditApp(t(x[0]), t(x[1]), t(x[2]), t(x[3]), x[4].toBool(), x.value(5), x.value(6));
         return {};
     }},
    {"AddPlaceHolder call",
     [](ExternalApps &a, const Args &x) -> QVariant {
         a.AddPlaceHolder(t(x[0]), t(x[1]));
         return {};
     }},
};

/// What a script left: the last step's value and error, the entries before that step and after it.
struct Outcome
{
    QString value;
    int error = 0;
    QString description;
    QStringList before;
    QStringList after;
    QString limits;
};

QString text(const QVariant &value) { return value.isValid() ? value.toString() : QStringLiteral("<none>"); }

Outcome runDirect(const Script &script)
{
    ExternalApps apps;
    Outcome outcome;
    for (const Step &step : fixture + script) {
        outcome.before = dump(apps);
        const DirectCall direct = directCalls.value(step.member + u' ' + step.kind);
        if (!direct)
            qFatal("no direct call for %s %s", qPrintable(step.member), qPrintable(step.kind));
        try {
            outcome = {text(direct(apps, step.args)), 0, {}, outcome.before};
        } catch (const ComponentError &error) {
            outcome = {text(QVariant()), error.number(), error.description() + u'|' + error.detail(), outcome.before};
        }
    }
    outcome.after = dump(apps);
    outcome.limits = QString::number(apps.MaxGroups()) + u'x' + QString::number(apps.MaxApps());
    return outcome;
}

QVariantMap invoke(QObject *object, const Step &step)
{
    QVariantMap result;
    if (!QMetaObject::invokeMethod(object, "invoke", Q_RETURN_ARG(QVariantMap, result), Q_ARG(QString, step.member),
                                   Q_ARG(QString, step.kind), Q_ARG(QVariantList, step.args)))
        qFatal("the object has no late-bound invoke");
    return result;
}

/// The program list window, when one is open.
QWidget *programListWindow()
{
    QWidget *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        window = widget->objectName() == u"frmEditApps" ? widget : window;
    return window;
}

} // namespace

Q_DECLARE_METATYPE(Row)

class tst_ExternalApps : public QObject
{
    Q_OBJECT

    QPluginLoader m_plugin;
    QTemporaryDir m_dir;

    /// Runs the applicationorder host; its output, or why it failed.
    QString runHost(const QString &mode, const QString &list)
    {
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(QStringLiteral(LANYARD_TEST_BIN_DIR "/applicationorder"), {mode, list});
        if (!host.waitForFinished(60000))
            return QStringLiteral("did not finish");
        if (host.exitStatus() != QProcess::NormalExit || host.exitCode() != 0)
            return QStringLiteral("ended with %1")
                .arg(host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1);
        return QString::fromUtf8(host.readAllStandardOutput()).trimmed();
    }

    /// The object as a late-bound host gets it: from the plugin that names its class.
    std::unique_ptr<QObject> create()
    {
        QObject *object = nullptr;
        QMetaObject::invokeMethod(m_plugin.instance(), "create", Q_RETURN_ARG(QObject *, object),
                                  Q_ARG(QObject *, nullptr));
        return std::unique_ptr<QObject>(object);
    }

    Outcome runLateBound(const Script &script)
    {
        const std::unique_ptr<QObject> object = create();
        Outcome outcome;
        for (const Step &step : fixture + script) {
            outcome.before = dump(*qobject_cast<ExternalApps *>(object.get()));
            const QVariantMap result = invoke(object.get(), step);
            const int error = result.value(QStringLiteral("error")).toInt();
            const QString description = result.value(QStringLiteral("description")).toString() + u'|'
                                        + result.value(QStringLiteral("detail")).toString();
            outcome = {text(result.value(QStringLiteral("value"))), error, error ? description : QString(),
                       outcome.before};
        }
        const auto *apps = qobject_cast<ExternalApps *>(object.get());
        outcome.after = dump(*apps);
        outcome.limits = QString::number(apps->MaxGroups()) + u'x' + QString::number(apps->MaxApps());
        return outcome;
    }

    /// The rows "search=replace" of the placeholder picker as the user opens it: the program
    /// list window, its Add button, the dialog's Insert Keyword button.
    static QStringList pickerRows(ExternalApps &apps)
    {
        QStringList rows;
        apps.ShowForm();
        QWidget *window = programListWindow();
        if (!window)
            return {QStringLiteral("no program list window")};
        UiTest::whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
            UiTest::whenModalShown(QStringLiteral("frmPlaceholders"), [&](QWidget *picker) {
                const auto *list = picker->findChild<QTreeWidget *>();
                for (int row = 0; row < list->topLevelItemCount(); ++row)
                    rows << list->topLevelItem(row)->text(0) + u'=' + list->topLevelItem(row)->text(1);
                UiTest::press(Qt::Key_Escape);
            });
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdInsertKeyword")), Qt::LeftButton);
            UiTest::backTo(dialog);
            UiTest::press(Qt::Key_Escape);
        });
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdAddApp")), Qt::LeftButton);
        apps.HideForm();
        return rows;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Desktop entries of this test's own, read at the first icon look-up.
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        const QString program = m_dir.filePath(QStringLiteral("painter"));
        const QString picture = m_dir.filePath(QStringLiteral("red.png"));
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(picture));
        QVERIFY(TestFiles::write(program, "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("data/applications"))));
        QVERIFY(TestFiles::write(m_dir.filePath(QStringLiteral("data/applications/painter.desktop")),
                                 "[Desktop Entry]\nType=Application\nName=Painter\nExec=" + program.toUtf8()
                                     + "\nIcon=" + picture.toUtf8() + "\n"));
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
    void scripts()
    {
        QFETCH(Row, row);
        const Outcome late = runLateBound(row.script);
        QCOMPARE(late.error, row.error);
        QCOMPARE(late.value, row.error ? text(QVariant()) : text(row.value));
        QCOMPARE(late.after, row.catalogue.value_or(late.before));
        QCOMPARE(late.description.isEmpty(), row.error == 0);
        if (row.lateBoundOnly)
            return;
        const Outcome direct = runDirect(row.script);
        QCOMPARE(direct.error, late.error);
        QCOMPARE(direct.description, late.description);
        QCOMPARE(direct.value, late.value);
        QCOMPARE(direct.after, late.after);
        QCOMPARE(direct.limits, late.limits);
    }

    // A count changed by a member notifies, as a QML binding needs. (The rest of the way QML
    // reaches the object, the qml-host example shows and the install test runs.)
    void countsNotify()
    {
        const std::unique_ptr<QObject> object = create();
        const QMetaObject *meta = object->metaObject();
        QSignalSpy changed(object.get(), meta->property(meta->indexOfProperty("GroupCount")).notifySignal());
        QVERIFY(qobject_cast<ExternalApps *>(object.get())->AddApp("Games", "Chess", "/no/chess", "", true));
        QCOMPARE(changed.count(), 1);
    }

    // A placeholder's index is 16 bits: the 32767th is taken, the next one is an Overflow, and a
    // placeholder already there can still be given a new value.
    void placeholdersUpToTheLargestIndex()
    {
        ExternalApps apps;
        for (int i = 0; i < 32767; ++i)
            apps.AddPlaceHolder(u'%' + QString::number(i) + u'%', QString());
        QCOMPARE(apps.PlaceholderCount(), qint16(32767));
        try {
            apps.AddPlaceHolder(QStringLiteral("%ONE-MORE%"), QStringLiteral("x"));
            QFAIL("the 32768th placeholder was taken");
        } catch (const ComponentError &error) {
            QCOMPARE(error.number(), 6);
        }
        apps.AddPlaceHolder(QStringLiteral("%32766%"), QStringLiteral("last"));
        QCOMPARE(apps.ReplaceString(32766), QStringLiteral("last"));
        QCOMPARE(apps.PlaceholderCount(), qint16(32767));
    }

    // invoke() gives a member's error in its result, not as errorOccurred, also for a property;
    // a by-name call that a handler makes meanwhile tells its own error by errorOccurred.
    void invokeKeepsItsErrorHandlersTellTheirs()
    {
        ExternalApps apps;
        QSignalSpy errors(&apps, &ExternalApps::errorOccurred);
        QCOMPARE(apps.invoke("AppPath", "get", {"Nope", "Nope"}).value("error").toInt(), 9);
        QCOMPARE(apps.invoke("MaxGroups", "let", {0}).value("error").toInt(), 9);
        QCOMPARE(apps.invoke("MaxGroups", "let", {"many"}).value("error").toInt(), 13);
        QCOMPARE(errors.count(), 0);
        QVERIFY(apps.AddApp("Tools", "Shell", "/bin/true", "", false));
        connect(&apps, &ExternalApps::placeholdersWanted, &apps, [&] {
            QVariant path;
            QMetaObject::invokeMethod(&apps, "AppPath", Q_RETURN_ARG(QVariant, path), Q_ARG(QVariant, "Nope"),
                                      Q_ARG(QVariant, "Nope"));
        });
        const QVariantMap launched = apps.invoke("ExecuteApp", "call", {"Tools", "Shell"});
        QCOMPARE(launched.value("error").toInt(), 0);
        QCOMPARE(launched.value("value"), QVariant(true));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), 9);
    }

    // QML binds only to properties that notify, and takes only handlers of signals whose names
    // begin in lower case: every property notifies, every signal has such a name or a twin.
    void everyChangeReachesQml()
    {
        const QMetaObject &meta = ExternalApps::staticMetaObject;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
            QVERIFY2(meta.property(i).hasNotifySignal(), meta.property(i).name());
        QStringList names;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal)
                names << QString::fromLatin1(meta.method(i).name());
        }
        const QHash<QString, QString> twins{{"AppFinished", "appFinished"}, {"EXTFileChanged", "extFileChanged"}};
        for (const QString &name : names)
            QVERIFY2(name.front().isLower() || names.contains(twins.value(name)), qPrintable(name));
        ExternalApps apps;
        QSignalSpy upper(&apps, &ExternalApps::EXTFileChanged);
        QSignalSpy lower(&apps, &ExternalApps::extFileChanged);
        apps.setEXTFile(m_dir.filePath(QStringLiteral("none.lst")));
        QCOMPARE(upper.count(), 1);
        QCOMPARE(lower.count(), 1);
        QSignalSpy shown(&apps, &ExternalApps::showMissingProgramChanged);
        apps.setShowMissingProgram(false);
        apps.setShowMissingProgram(false);
        QCOMPARE(shown.count(), 1);
    }

    // A program's icon as a URL that an Image shows: the picture itself, as PNG data.
    void iconAsUrl()
    {
        ExternalApps apps;
        // The program of the desktop entry that initTestCase wrote, with a red picture.
        QVERIFY(apps.AddApp("Art", "Painter", m_dir.filePath(QStringLiteral("painter")), "", false));
        QVERIFY(apps.AddApp("Art", "Nothing", "/no/such/program", "", false));
        const QString url = apps.iconUrl("Art", 0);
        const QString prefix = QStringLiteral("data:image/png;base64,");
        QVERIFY2(url.startsWith(prefix), qPrintable(url.left(40)));
        const QImage shown = QImage::fromData(QByteArray::fromBase64(url.mid(prefix.size()).toLatin1()), "PNG");
        QCOMPARE(shown.size(), QSize(16, 16));
        QCOMPARE(shown.pixelColor(8, 8), QColor(Qt::red));
        QCOMPARE(apps.iconUrl("Art", 1), QString());
        QCOMPARE(
            QImage::fromData(QByteArray::fromBase64(apps.iconUrl("Art", 0, 1).mid(prefix.size()).toLatin1())).size(),
            QSize(1, 1));
        QCOMPARE(apps.iconUrl("Art", 0, 0), QString());
        QCOMPARE(apps.iconUrl("Art", 0, -16), QString());
        QCOMPARE(apps.invoke("iconUrl", "call", {"Art", 0}).value("value").toString(), url);
    }

    // A host may delete the object in its placeholdersWanted handler: what asked gives up
    // without starting anything, by every way that launches.
    void deletedWhileAskingForPlaceholders_data()
    {
        QTest::addColumn<QString>("way");
        for (const char *way : {"ExecuteApp", "startTool", "launchCommand", "late-bound-ExecuteApp"})
            QTest::newRow(way) << QString::fromLatin1(way);
    }
    void deletedWhileAskingForPlaceholders()
    {
        QFETCH(QString, way);
        auto *apps = new ExternalApps;
        const QPointer<ExternalApps> alive(apps);
        QVERIFY(apps->AddApp("Tools", "True", "/bin/true", "", false));
        connect(apps, &ExternalApps::placeholdersWanted, apps, [apps] { delete apps; });
        QSignalSpy started(apps, &ExternalApps::AppFinished);
        QSignalSpy failed(apps, &ExternalApps::launchFailed);
        if (way == u"ExecuteApp") {
            QCOMPARE(apps->ExecuteApp("Tools", "True"), false);
        } else if (way == u"startTool") {
            QCOMPARE(apps->startTool("Tools", "True"), nullptr);
        } else if (way == u"launchCommand") {
            const Result<LaunchCommand> command = apps->launchCommand("Tools", "True");
            QVERIFY(!command);
            QCOMPARE(command.error().detail(), QStringLiteral("the object was deleted while asking for placeholders"));
        } else {
            const QVariantMap result = apps->invoke("ExecuteApp", "call", {"Tools", "True"});
            QCOMPARE(result.value("value"), QVariant(false));
        }
        QVERIFY(alive.isNull());
        QCOMPARE(started.count() + failed.count(), 0);
    }

    // A handler of placeholdersWanted that previews or launches is not asked again from
    // within: its own call goes ahead with the values there are.
    void launchFromThePlaceholdersHandler()
    {
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "Echo", "/bin/echo", "%FILE%", false));
        int asked = 0;
        QStringList seen;
        connect(&apps, &ExternalApps::placeholdersWanted, &apps, [&] {
            ++asked;
            apps.AddPlaceHolder("%FILE%", "/now/1");
            const Result<LaunchCommand> inner = apps.launchCommand("Tools", "Echo");
            seen << (inner ? inner->arguments.join(u' ') : inner.error().detail());
        });
        QCOMPARE(apps.launchCommand("Tools", "Echo").value().arguments, QStringList{"/now/1"});
        QCOMPARE(asked, 1);
        QCOMPARE(seen, QStringList{"/now/1"});
    }

    // The owner of the window by name: nothing, or a widget; any other object or value is a
    // type mismatch, and no window opens.
    void ownerOfTheWindowByName_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<int>("error");
        QTest::newRow("none") << QString() << 0;
        QTest::newRow("a-widget") << QStringLiteral("widget") << 0;
        QTest::newRow("an-object-not-a-widget") << QStringLiteral("object") << 13;
        QTest::newRow("a-text") << QStringLiteral("main window") << 13;
    }
    void ownerOfTheWindowByName()
    {
        QFETCH(QString, owner);
        QFETCH(int, error);
        QWidget widget;
        QObject object;
        const QVariant value = owner == u"widget"   ? QVariant::fromValue<QObject *>(&widget)
                               : owner == u"object" ? QVariant::fromValue<QObject *>(&object)
                               : owner.isNull()     ? QVariant()
                                                    : QVariant(owner);
        ExternalApps apps;
        QCOMPARE(apps.invoke("ShowForm", "call", {0, value}).value("error").toInt(), error);
        QWidget *window = programListWindow();
        QCOMPARE(window && window->isVisible(), error == 0);
        if (error == 0)
            QCOMPARE(window->parentWidget(), owner == u"widget" ? &widget : nullptr);
        apps.HideForm();
    }

    // Shown again for another owner while it is open, the one window moves to that owner.
    void windowFollowsANewOwner()
    {
        QWidget first;
        QWidget second;
        ExternalApps apps;
        apps.ShowForm(0, &first);
        apps.ShowForm(0, &second);
        const QWidget *window = programListWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->parentWidget(), &second);
        apps.HideForm();
    }

    // The add dialog offers the groups there are: not the slot the last group's removal
    // vacated, which still holds its name.
    void dialogOffersNoVacatedGroup()
    {
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "Vi", "/bin/vi", "", false));
        QVERIFY(apps.AddApp("Games", "Chess", "/bin/true", "", false));
        apps.DeleteApp("Games", 0);
        QCOMPARE(apps.GroupCount(), 1);
        QCOMPARE(apps.GroupName(1), QString("Games"));
        apps.ShowForm();
        QWidget *window = programListWindow();
        QVERIFY(window);
        QStringList offered;
        UiTest::whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *dialog) {
            const auto *groups = dialog->findChild<QComboBox *>(QStringLiteral("cboGroup"));
            for (int i = 0; i < groups->count(); ++i)
                offered << groups->itemText(i);
            UiTest::press(Qt::Key_Escape);
        });
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdAddApp")), Qt::LeftButton);
        apps.HideForm();
        QCOMPARE(offered, QStringList{"Tools"});
    }

    // The window needs a QApplication: under a QGuiApplication (a QML host) showing it is error
    // 5, thrown or told by errorOccurred, never an abort.
    void windowWithoutQApplication()
    {
        const QString output = runHost(QStringLiteral("gui"), m_dir.filePath(QStringLiteral("gui.lst")));
        QCOMPARE(output, QStringLiteral("typed: 5 Invalid procedure call or argument: the program list window needs a "
                                        "QApplication\nby name: 5"));
    }

    // The host's values are asked for right before they are used, by every way that uses
    // them: a value registered at start-up never goes stale, and nothing asks before then.
    void placeholdersAskedRightBeforeUse_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("used");
        QTest::newRow("launch") << QStringLiteral("launch") << QStringLiteral("--file=/now/1");
        QTest::newRow("late-bound-launch") << QStringLiteral("late-bound-launch") << QStringLiteral("--file=/now/1");
        QTest::newRow("run-that-talks-back") << QStringLiteral("talking-run") << QStringLiteral("--file=/now/1");
        QTest::newRow("preview") << QStringLiteral("preview") << QStringLiteral("--file=/now/1");
        QTest::newRow("picker") << QStringLiteral("picker") << QStringLiteral("%FILE%=/now/1");
    }
    void placeholdersAskedRightBeforeUse()
    {
        QFETCH(QString, way);
        QFETCH(QString, used);
        ExternalApps apps;
        QVERIFY(apps.AddApp("Tools", "Record", LANYARD_TEST_BIN_DIR "/recorder", "--file=%FILE%", false));
        apps.AddPlaceHolder("%FILE%", "at start-up");
        int asked = 0;
        connect(&apps, &ExternalApps::placeholdersWanted, &apps,
                [&] { apps.AddPlaceHolder("%FILE%", QStringLiteral("/now/") + QString::number(++asked)); });
        QCOMPARE(asked, 0);

        QString seen;
        const QString record = m_dir.filePath(way + QStringLiteral(".record"));
        qputenv("LANYARD_RECORDER_OUT", record.toLocal8Bit());
        if (way == u"launch") {
            QVERIFY(apps.ExecuteApp("Tools", "Record"));
            seen = Record::waitFor(record).texts().join(u' ');
        } else if (way == u"late-bound-launch") {
            QCOMPARE(apps.invoke("ExecuteApp", "call", {"Tools", "Record"}).value("value"), QVariant(true));
            seen = Record::waitFor(record).texts().join(u' ');
        } else if (way == u"talking-run") {
            ToolRun *run = apps.startTool("Tools", "Record");
            QVERIFY(run);
            QSignalSpy finished(run, &ToolRun::finished);
            QVERIFY(finished.wait(10000));
            seen = Record::waitFor(record).texts().join(u' ');
        } else if (way == u"preview") {
            seen = apps.launchCommand("Tools", "Record")->arguments.join(u' ');
        } else {
            seen = pickerRows(apps).join(u' ');
        }
        QCOMPARE(seen, used);
        QCOMPARE(asked, 1);

        // A handler that itself previews or launches is not asked again from there.
        connect(&apps, &ExternalApps::placeholdersWanted, &apps, [&] { (void)apps.launchCommand("Tools", "Record"); });
        QCOMPARE(apps.launchCommand("Tools", "Record")->arguments, QStringList{QStringLiteral("--file=/now/2")});
        QCOMPARE(asked, 2);
    }

    // The one program list window goes with the object whose list it shows, not with another
    // window's object.
    void releaseClosesOnlyItsOwnWindow()
    {
        auto other = std::make_unique<ExternalApps>();
        auto shown = std::make_unique<ExternalApps>();
        QVERIFY(shown->AddApp("Tools", "Edit", "/usr/bin/ed", "", false));
        shown->ShowForm();
        const QPointer<QWidget> window = programListWindow();
        QVERIFY(window && window->isVisible());
        other.reset();
        QVERIFY(window && window->isVisible());
        shown.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!window || !window->isVisible(), 5000);
    }

    // An object that outlives its application, with its window open or never shown, goes
    // without a crash and saves its list.
    void releaseAfterTheApplication_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("window-open") << QStringLiteral("outlive-open");
        QTest::newRow("window-never-shown") << QStringLiteral("outlive-closed");
    }
    void releaseAfterTheApplication()
    {
        QFETCH(QString, mode);
        const QString list = m_dir.filePath(mode + QStringLiteral(".lst"));
        QCOMPARE(runHost(mode, list), QStringLiteral("application gone"));
        QVERIFY(TestFiles::read(list).endsWith("\nTools,Editor,/usr/bin/ed,,0\r\n"));
    }
};

void tst_ExternalApps::scripts_data()
{
    QTest::addColumn<Row>("row");
    const auto row = [](const char *tag, const Row &row) { QTest::newRow(tag) << row; };
    const QStringList &entries = fixtureEntries;
    const auto with = [](QStringList list, int at, const QString &entry) {
        if (at < 0)
            list.removeAt(-at - 1);
        else if (at >= list.size())
            list.append(entry);
        else
            list[at] = entry;
        return list;
    };

    // Number or name: a string is a name, looked up exactly; other values are rounded indexes.
    row("count-by-name", {{get("AppCount", {"Tools"})}, 2});
    row("digits-are-a-name", {{get("AppCount", {"1"})}, 0});
    row("count-past-the-table", {{get("AppCount", {5})}, {}, 9});
    row("index-beyond-16-bits", {{get("AppCount", {40000})}, {}, 6});
    row("group-name-negative", {{get("GroupName", {-1})}, {}, 9});
    row("path-by-names", {{get("AppPath", {"Tools", "Editor"})}, "/no/ed"});
    row("path-app-name-of-other-case", {{get("AppPath", {"Tools", "editor"})}, {}, 9});

    // Slots beyond the counts hold values, invisible to look-ups; AddApp takes such a slot anew.
    row("name-beyond-the-count-not-found",
        {{let("ApplicationName", {1, 1, "Hidden"}), get("AppPath", {1, "Hidden"})}, {}, 9});
    row("add-takes-the-slot-beyond", {{let("ApplicationName", {1, 1, "Hidden"}), let("CmdLine", {1, 1, "old"}),
                                       call("AddApp", {"Games", "Hidden", "/h", "", false})},
                                      true,
                                      0,
                                      entries + QStringList{"Games|Hidden|/h||0"}});
    // Two groups of one name: a name is looked up in the first; a number addresses its slot.

    // Members that fail change nothing.
    row("max-apps-zero", {{let("MaxApps", {0})}, {}, 9});
    row("max-groups-below-the-count", {{let("MaxGroups", {1})}, {}, 9});
    row("path-of-unknown-app", {{let("AppPath", {0, "Nope", "x"})}, {}, 9});
    row("group-name-past-the-table", {{let("GroupName", {5, "x"})}, {}, 9});
    row("app-name-group-beyond-16-bits", {{let("ApplicationName", {70000, 0, "x"})}, {}, 6});

    // Limits: what is used stays, slots beyond the counts too while the table holds them.
    row("largest-tables", {{let("MaxGroups", {32767}), let("MaxApps", {32767}), get("AppPath", {32766, 32766})}, ""});
    row("more-groups-get-tables-at-once",
        {{let("MaxApps", {3}), let("MaxGroups", {8}), let("CmdLine", {7, 2, "last"}), get("CmdLine", {7, 2})}, "last"});
    row("app-past-the-table", {{let("MaxApps", {3}), get("AppPath", {0, 3})}, {}, 9});
    row("max-apps-one", {{call("DeleteApp", {"Tools", "Viewer"}), let("MaxApps", {1})},
                         {},
                         0,
                         QStringList{"Tools|Editor|/no/ed|-p %FILE%|0", "Games|Chess|/no/chess||0"}});
    // Only the groups in use count against a new limit, not the copy a removal leaves behind.
    row("max-apps-below-a-vacated-slot",
        {{call("AddApp", {"Office", "Writer", "/w", "", false}), call("AddApp", {"Office", "Calc", "/c", "", false}),
          call("AddApp", {"Office", "Draw", "/d", "", false}), call("DeleteApp", {"Games", "Chess"}),
          call("DeleteApp", {"Office", "Draw"}), let("MaxApps", {2})},
         {},
         0,
         QStringList{"Tools|Editor|/no/ed|-p %FILE%|0", "Tools|Viewer|/no/view||-1", "Office|Writer|/w||0",
                     "Office|Calc|/c||0"}});
    row("list-file",
        {{let("EXTFile", {"/nonexistent/tools.lst"}), let("EXTFile", {""}), get("EXTFile")}, "/nonexistent/tools.lst"});

    // Adding: limits, updates, case.
    row("add-updates-an-application-there-is", {{call("AddApp", {"Tools", "Editor", "/new", "-n", true})},
                                                true,
                                                0,
                                                with(entries, 0, "Tools|Editor|/new|-n|0")});
    row("group-limit", {{let("MaxGroups", {2}), call("AddApp", {"New", "App", "/x", "", false})}, false});
    row("application-limit", {{let("MaxApps", {2}), call("AddApp", {"Tools", "New", "/x", "", false})}, false});

    // Deleting closes the gap; the last application takes its group along.
    row("delete-only-app-of-group", {{call("DeleteApp", {"Games", "Chess"})}, {}, 0, with(entries, -3, {})});
    row("delete-unknown-name", {{call("DeleteApp", {"Tools", "editor"})}, {}});
    // The slot a removal vacates at the end keeps what it held, as a fixed-size array would.
    row("vacated-slot-keeps-its-group-name", {{call("AddApp", {"Office", "Writer", "/w", "", false}),
                                               call("DeleteApp", {"Games", "Chess"}), get("GroupName", {2})},
                                              "Office"});
    // Deleting in that slot deletes nothing: it holds no entry.
    row("delete-in-a-vacated-slot-changes-nothing", {{call("AddApp", {"Office", "Writer", "/w", "", false}),
                                                      call("DeleteApp", {"Games", "Chess"}), call("DeleteApp", {2, 0})},
                                                     {},
                                                     0,
                                                     with(with(entries, -3, {}), 99, "Office|Writer|/w||0")});
    // As in the slot after a group's last application, which keeps the record deleted.
    row("delete-past-a-groups-count-changes-nothing",
        {{call("DeleteApp", {"Tools", "Viewer"}), call("DeleteApp", {0, 1})}, {}, 0, with(entries, -2, {})});
    // A group slot taken anew keeps the old group's later records beyond its count, a record
    // whose name was emptied too, also once its own last application is deleted.
    row("vacated-slots-keep-their-applications",
        {{call("AddApp", {"Office", "Writer", "/w", "", false}), call("AddApp", {"Office", "Calc", "/c", "", false}),
          call("DeleteApp", {"Games", "Chess"}), call("AddApp", {"New", "First", "/f", "", false}),
          let("ApplicationName", {2, 1, ""}), call("DeleteApp", {"New", "First"}), get("AppPath", {2, 1})},
         "/c"});
    row("group-without-a-name-found-after-a-group-went",
        {{call("AddApp", {"", "Plain", "/p", "", false}), call("DeleteApp", {"Tools", "Editor"}),
          call("DeleteApp", {"Tools", "Viewer"}), get("AppPath", {"", "Plain"})},
         "/p"});

    // Editing: path and command stay unless given; moves between groups; limits.
    row("edit-in-place-keeps-path-and-command", {{call("EditApp", {"Tools", "Editor", "Tools", "Ed", true})},
                                                 {},
                                                 0,
                                                 with(entries, 0, "Tools|Ed|/no/ed|-p %FILE%|-1")});
    row("edit-empty-command-is-given",
        {{call("EditApp", {"Tools", "Viewer", "Tools", "Viewer", false, QVariant(), ""})},
         {},
         0,
         with(entries, 1, "Tools|Viewer|/no/view||0")});
    row("edit-rename-to-a-taken-name-keeps-both", {{call("EditApp", {"Tools", "Viewer", "Tools", "Editor", true})},
                                                   {},
                                                   0,
                                                   with(entries, 1, "Tools|Editor|/no/view||-1")});
    row("edit-move-into-full-group-changes-nothing",
        {{let("MaxApps", {2}), call("EditApp", {"Games", "Chess", "Tools", "Chess", false})}, {}});
    row("edit-unknown-old-group", {{call("EditApp", {"Nope", "Editor", "Games", "Editor", false})}, {}, 9});
    row("edit-path-of-no-text", {{call("EditApp", {"Tools", "Editor", "Tools", "E", false, QVariantList()})}, {}, 13});

    // Values the launch list could not give back the same are refused with InvalidArgument.
    row("refused-comma-in-group", {{call("AddApp", {"a,b", "N", "/p", "", false})}, {}, 5});
    row("refused-cr-in-name", {{call("AddApp", {"G", "a\rb", "/p", "", false})}, {}, 5});
    row("refused-lf-in-path", {{call("AddApp", {"G", "N", "a\nb", "", false})}, {}, 5});
    row("refused-nul-in-command", {{call("AddApp", {"G", "N", "/p", QString(QChar(0)), false})}, {}, 5});
    row("refused-comment-group", {{call("AddApp", {" ;x", "N", "/p", "", false})}, {}, 5});
    row("refused-leading-blank", {{call("EditApp", {"Tools", "Editor", " Tools", "E", false})}, {}, 5});
    row("refused-trailing-tab", {{call("EditApp", {"Tools", "Editor", "Tools", "E\t", false})}, {}, 5});
    row("refused-edited-path", {{call("EditApp", {"Tools", "Editor", "Tools", "E", false, "x,y"})}, {}, 5});
    row("refused-edited-command", {{call("EditApp", {"Tools", "Editor", "Tools", "E", false, "/p", "\n"})}, {}, 5});
    row("refused-group-name", {{let("GroupName", {0, ";x"})}, {}, 5});
    row("refused-app-name", {{let("ApplicationName", {0, 0, "a,b"})}, {}, 5});
    row("refused-path", {{let("AppPath", {0, 0, " /x"})}, {}, 5});
    row("refused-command", {{let("CmdLine", {0, 0, "a\rb"})}, {}, 5});
    // A byte that is no UTF-8 (a lone surrogate holds it) in a UTF-8 list.
    row("refused-byte-a-utf8-list-cannot-hold",
        {{call("AddApp", {"G", "N", QStringView(u"/caf\xdce9").toString(), "", false})}, {}, 5});

    // Placeholders: registered once without regard to case, the last spelling and value kept.
    row("placeholder-again-updates", {{call("AddPlaceHolder", {"%FILE%", "new"}), get("ReplaceString", {0})}, "new"});
    row("placeholder-other-case-respelled",
        {{call("AddPlaceHolder", {"%file%", "x"}), get("SearchString", {0})}, "%file%"});
    row("placeholder-case-beyond-ascii",
        {{call("AddPlaceHolder", {"%Ärger%", "1"}), call("AddPlaceHolder", {"%äRGER%", "2"}), get("PlaceholderCount")},
         3});
    row("search-string-negative", {{get("SearchString", {-1})}, {}, 9});
    row("search-string-past-the-last", {{get("SearchString", {2})}, {}, 9});
    row("replace-string-past-the-last", {{get("ReplaceString", {2})}, {}, 9});
    row("replace-by-name-of-other-case", {{get("ReplaceString", {"%user%"})}, "bob"});
    row("replace-digits-are-a-name", {{get("ReplaceString", {"0"})}, {}, 9});

    // What only a late-bound caller can write.
    const auto late = [&](const char *tag, Row r) {
        r.lateBoundOnly = true;
        row(tag, r);
    };
    late("member-name-in-any-case", {{{"aPPcOUNT", "GET", {"Tools"}}}, 2});
    late("language-by-name", {{let("Language", {"lGerman"}), get("Language")}, 1});
    late("any-number-is-a-boolean",
         {{let("AppProtected", {"Tools", 0, 0.4}), get("AppProtected", {"Tools", 0})}, true});
    late("optional-arguments-left-off", {{call("EditApp", {"Tools", "Editor", "Tools", "Ed", false})},
                                         {},
                                         0,
                                         with(entries, 0, "Tools|Ed|/no/ed|-p %FILE%|0")});
    late("let-of-a-read-only-property", {{let("GroupCount", {3})}, {}, 438});
    late("owner-not-a-window", {{call("ShowForm", {0, "main window"})}, {}, 13});
}

QTEST_MAIN(tst_ExternalApps)
#include "tst_externalapps.moc"

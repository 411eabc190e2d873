// A host that knows Lanyard only by its class name: it loads the plugin at run time, creates
// the object by "Lanyard.ExternalApps" and calls every member by name. No Lanyard header here.
#include <QDir>
#include <QIcon>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Expect
{
    QVariant value;
    int error = 0;
};

QString s(const char *text) { return QString::fromUtf8(text); }

} // namespace

Q_DECLARE_METATYPE(Expect)

class tst_LateBinding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void metaData();
    void members_data();
    void members();
    void propertiesThroughMetaObject();
    void afterwards_data();
    void afterwards();

private:
    QObject *create();
    QVariantMap call(QObject *object, const QString &member, const QString &kind, const QVariantList &args = {});
    void setUpCatalogue(QObject *object);

    QPluginLoader m_loader;
    QJsonObject m_metaData;
};

void tst_LateBinding::initTestCase()
{
    const QDir dir(QStringLiteral(LANYARD_PLUGIN_DIR));
    for (const QString &file : dir.entryList(QDir::Files)) {
        QPluginLoader candidate(dir.filePath(file));
        const QJsonObject meta = candidate.metaData().value(u"MetaData").toObject();
        if (meta.value(u"className").toString() == u"Lanyard.ExternalApps") {
            m_loader.setFileName(candidate.fileName());
            m_metaData = meta;
        }
    }
    QVERIFY2(!m_loader.fileName().isEmpty(), "no plugin names the class Lanyard.ExternalApps");
    QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
}

void tst_LateBinding::metaData()
{
    QCOMPARE(m_metaData.value(u"description").toString(), s("Vexa - External application launch / config utilities"));
}

QObject *tst_LateBinding::create()
{
    QObject *object = nullptr;
    if (!QMetaObject::invokeMethod(m_loader.instance(), "create", Q_RETURN_ARG(QObject *, object),
                                   Q_ARG(QObject *, this)))
        return nullptr;
    return object;
}

QVariantMap tst_LateBinding::call(QObject *object, const QString &member, const QString &kind, const QVariantList &args)
{
    QVariantMap result;
    const bool invoked = QMetaObject::invokeMethod(object, "invoke", Q_RETURN_ARG(QVariantMap, result),
                                                   Q_ARG(QString, member), Q_ARG(QString, kind),
                                                   Q_ARG(QVariantList, args));
    if (!invoked)
        qFatal("the object has no late-bound invoke");
    return result;
}

void tst_LateBinding::setUpCatalogue(QObject *object)
{
    call(object, s("MaxGroups"), s("let"), {6});
    call(object, s("MaxApps"), s("let"), {4});
    call(object, s("AddApp"), s("call"), {s("Tools"), s("Editor"), s("/bin/sh"), s("-c %FILE%"), false});
    call(object, s("AddApp"), s("call"), {s("Tools"), s("Viewer"), s("/no/such/viewer"), QString(), true});
    call(object, s("AddPlaceHolder"), s("call"), {s("%FILE%"), s("/tmp/a b")});
}

void tst_LateBinding::members_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<Expect>("expect");

    auto row = [](const char *tag, const char *member, const char *kind, QVariantList args, Expect expect) {
        QTest::newRow(tag) << s(member) << s(kind) << args << expect;
    };
    const QString tools = s("Tools");

    // The 31 members in interface order.
    row("maxgroups-get", "MaxGroups", "get", {}, {6});
    row("maxgroups-let", "MaxGroups", "let", {7}, {});
    row("maxapps-get", "MaxApps", "get", {}, {4});
    row("maxapps-let", "MaxApps", "let", {3}, {});
    row("extfile-get", "EXTFile", "get", {}, {QString()});
    row("extfile-let", "EXTFile", "let", {s("/nonexistent/tools.lst")}, {});
    row("groupcount", "GroupCount", "get", {}, {1});
    row("appcount", "AppCount", "get", {tools}, {2});
    row("groupname-get", "GroupName", "get", {0}, {tools});
    row("groupname-let", "GroupName", "let", {3, s("Spare")}, {});
    row("applicationname-get", "ApplicationName", "get", {tools, 1}, {s("Viewer")});
    row("applicationname-let", "ApplicationName", "let", {0, 3, s("Spare")}, {});
    row("icon", "Icon", "get", {tools, 1}, {QVariant::fromValue(QIcon())});
    row("apppath-get", "AppPath", "get", {tools, s("Editor")}, {s("/bin/sh")});
    row("apppath-let", "AppPath", "let", {tools, s("Editor"), s("/bin/bash")}, {});
    row("appprotected-get", "AppProtected", "get", {tools, s("Viewer")}, {true});
    row("appprotected-let", "AppProtected", "let", {tools, s("Viewer"), false}, {});
    row("cmdline-get", "CmdLine", "get", {0, 0}, {s("-c %FILE%")});
    row("cmdline-let", "CmdLine", "let", {0, 0, s("-x")}, {});
    row("placeholdercount", "PlaceholderCount", "get", {}, {1});
    row("searchstring", "SearchString", "get", {0}, {s("%FILE%")});
    row("replacestring", "ReplaceString", "get", {s("%file%")}, {s("/tmp/a b")});
    row("language-get", "Language", "get", {}, {0});
    row("language-let", "Language", "let", {1}, {});
    row("addapp", "AddApp", "call", {s("Games"), s("Chess"), s("/x"), QString(), false}, {true});
    row("deleteapp", "DeleteApp", "call", {tools, s("Viewer")}, {});
    row("editapp-optional-left-off", "EditApp", "call", {tools, s("Editor"), tools, s("Ed"), true}, {});
    row("editapp-all-arguments", "EditApp", "call", {tools, s("Editor"), tools, s("Ed"), true, s("/p"), s("c")}, {});
    row("addplaceholder", "AddPlaceHolder", "call", {s("%LINE%"), s("12")}, {});
    row("executeapp-unknown-group", "ExecuteApp", "call", {s("tools"), s("Editor")}, {false});
    row("showform-modeless", "ShowForm", "call", {0}, {});
    row("hideform", "HideForm", "call", {}, {});

    // Names are matched without regard to case; errors come back as numbers and texts.
    row("member-name-any-case", "aPPcOUNT", "GET", {tools}, {2});
    row("index-error", "GroupName", "get", {6}, {QVariant(), 9});
    row("name-not-found", "ApplicationName", "get", {s("tools"), 0}, {QVariant(), 9});
    row("overflow", "AppCount", "get", {1e6}, {QVariant(), 6});
    row("type-mismatch", "GroupName", "get", {s("zero")}, {QVariant(), 13});
    row("digit-text-is-a-search-string", "ReplaceString", "get", {s("0")}, {QVariant(), 9});
    row("unknown-member", "Launch", "call", {}, {QVariant(), 438});
    row("let-of-read-only", "GroupCount", "let", {3}, {QVariant(), 438});
    row("get-of-method", "AddApp", "get", {}, {QVariant(), 438});
    row("unknown-kind", "GroupCount", "put", {}, {QVariant(), 438});
    row("too-few-arguments", "AppPath", "get", {tools}, {QVariant(), 450});
    row("too-many-arguments", "HideForm", "call", {1}, {QVariant(), 450});
    row("owner-not-a-window", "ShowForm", "call", {0, s("main window")}, {QVariant(), 13});
}

void tst_LateBinding::members()
{
    QFETCH(QString, member);
    QFETCH(QString, kind);
    QFETCH(QVariantList, args);
    QFETCH(Expect, expect);

    QPointer<QObject> object = create();
    QVERIFY(object);
    setUpCatalogue(object);
    const QVariantMap result = call(object, member, kind, args);
    QCOMPARE(result.value(s("error")).toInt(), expect.error);
    if (expect.error != 0) {
        QVERIFY(!result.value(s("description")).toString().isEmpty());
        QVERIFY(!result.value(s("value")).isValid());
    } else if (expect.value.typeId() == QMetaType::QIcon) {
        QCOMPARE(result.value(s("value")).typeId(), QMetaType::QIcon);
    } else {
        QCOMPARE(result.value(s("value")).toString(), expect.value.toString());
    }
    delete object;
}

// The meta-object system reaches every member by its name, as QML and Python do: properties
// are written and notify, methods take QVariants, and a failure is a signal, not an exception.
void tst_LateBinding::propertiesThroughMetaObject()
{
    QObject *object = create();
    setUpCatalogue(object);
    QCOMPARE(object->property("GroupCount").toInt(), 1);
    QCOMPARE(object->property("PlaceholderCount").toInt(), 1);
    QVERIFY(object->setProperty("MaxGroups", 9));
    QCOMPARE(object->property("MaxGroups").toInt(), 9);
    QVERIFY(object->setProperty("Language", s("lFrench")));
    QCOMPARE(object->property("Language").toInt(), 2);

    const int countProperty = object->metaObject()->indexOfProperty("GroupCount");
    QSignalSpy changed(object, object->metaObject()->property(countProperty).notifySignal());
    QVariant added;
    QVERIFY(QMetaObject::invokeMethod(object, "AddApp", Q_RETURN_ARG(QVariant, added), Q_ARG(QVariant, s("Games")),
                                      Q_ARG(QVariant, s("Chess")), Q_ARG(QVariant, s("/usr/games/chess")),
                                      Q_ARG(QVariant, QString()), Q_ARG(QVariant, true)));
    QCOMPARE(added, QVariant(true));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(object->property("GroupCount").toInt(), 2);

    QSignalSpy failed(object, SIGNAL(errorOccurred(int, QString)));
    QVariant path;
    QVERIFY(QMetaObject::invokeMethod(object, "AppPath", Q_RETURN_ARG(QVariant, path), Q_ARG(QVariant, s("Games")),
                                      Q_ARG(QVariant, s("Go"))));
    QVERIFY(!path.isValid());
    object->setProperty("MaxApps", 40000);
    QCOMPARE(failed.count(), 2);
    QCOMPARE(failed.at(0).at(0).toInt(), 9);
    QCOMPARE(failed.at(1).at(0).toInt(), 6);
    QCOMPARE(object->property("MaxApps").toInt(), 4);
    delete object;
}

// What a let or a method left behind, read back late-bound too.
void tst_LateBinding::afterwards_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("readMember");
    QTest::addColumn<QVariantList>("readArgs");
    QTest::addColumn<QVariant>("expected");

    const QString tools = s("Tools");
    // Booleans late-bound are true and false, whatever number a let gives.
    QTest::newRow("protected-number-is-a-boolean")
        << s("AppProtected") << QVariantList{tools, 0, 0.4} << s("AppProtected") << QVariantList{tools, 0} << QVariant(true);
    QTest::newRow("protected-false")
        << s("AppProtected") << QVariantList{tools, 1, 0} << s("AppProtected") << QVariantList{tools, 1} << QVariant(false);
    QTest::newRow("language-out-of-range")
        << s("Language") << QVariantList{7} << s("Language") << QVariantList{} << QVariant(0);
    QTest::newRow("language-by-name")
        << s("Language") << QVariantList{s("lGerman")} << s("Language") << QVariantList{} << QVariant(1);
    QTest::newRow("cmdline-slot-beyond-count")
        << s("CmdLine") << QVariantList{tools, 3, s("late")} << s("CmdLine") << QVariantList{0, 3} << QVariant(s("late"));
}

void tst_LateBinding::afterwards()
{
    QFETCH(QString, member);
    QFETCH(QVariantList, args);
    QFETCH(QString, readMember);
    QFETCH(QVariantList, readArgs);
    QFETCH(QVariant, expected);

    QObject *object = create();
    setUpCatalogue(object);
    QCOMPARE(call(object, member, s("let"), args).value(s("error")).toInt(), 0);
    QCOMPARE(call(object, readMember, s("get"), readArgs).value(s("value")).toString(), expected.toString());
    delete object;
}

QTEST_MAIN(tst_LateBinding)
#include "tst_latebinding.moc"

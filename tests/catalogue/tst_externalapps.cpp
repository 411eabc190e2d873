#include "ui/Captions.h"

#include <Lanyard/ExternalApps.h>

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Lanyard;

namespace {

using Call = std::function<void(ExternalApps &)>;
using Read = std::function<QVariant(ExternalApps &)>;

// Two groups, Tools (Editor, Viewer) and Games (Chess), on the default 5 x 5 tables.
void fillTwoGroups(ExternalApps &apps)
{
    QVERIFY(apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Editor"), QStringLiteral("/bin/ed"), QStringLiteral("-p %FILE%"), false));
    QVERIFY(apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Viewer"), QStringLiteral("/bin/view"), QString(), true));
    QVERIFY(apps.AddApp(QStringLiteral("Games"), QStringLiteral("Chess"), QStringLiteral("/usr/games/chess"), QString(), false));
}

int errorOf(const Call &call, ExternalApps &apps)
{
    try {
        call(apps);
    } catch (const ComponentError &error) {
        return error.number();
    }
    return 0;
}

QString s(const char *text) { return QString::fromUtf8(text); }
QVariant name(const char *text) { return QVariant(QString::fromUtf8(text)); }

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(Read)

class tst_ExternalApps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newObject();
    void reads_data();
    void reads();
    void failingMembersChangeNothing_data();
    void failingMembersChangeNothing();
    void slotsBeyondTheCounts();
    void resizing_data();
    void resizing();
    void raisingMaxGroupsGivesTablesAtOnce();
    void language_data();
    void language();
    void languageOffsetIsLibraryWide();
    void extFile();
    void lookupsScaleAndFirstMatchWins();
};

void tst_ExternalApps::newObject()
{
    ExternalApps apps;
    QCOMPARE(apps.MaxGroups(), qint16(5));
    QCOMPARE(apps.MaxApps(), qint16(5));
    QCOMPARE(apps.GroupCount(), qint16(0));
    QCOMPARE(apps.EXTFile(), QString());
    QCOMPARE(apps.Language(), Language::lEnglish);
    QCOMPARE(apps.PlaceholderCount(), qint16(0));
    QCOMPARE(apps.GroupName(4), QString());
    QCOMPARE(apps.AppPath(4, 4), QString());
}

// Every read either gives the expected text or fails with the expected error number.
void tst_ExternalApps::reads_data()
{
    QTest::addColumn<Read>("read");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<int>("error");

    auto row = [](const char *tag, Read read, QVariant expected, int error = 0) {
        QTest::newRow(tag) << read << expected << error;
    };

    row("appcount-by-name", [](ExternalApps &a) { return QVariant(a.AppCount(name("Tools"))); }, 2);
    row("appcount-name-other-case", [](ExternalApps &a) { return QVariant(a.AppCount(name("tools"))); }, 0);
    row("appcount-minus-one", [](ExternalApps &a) { return QVariant(a.AppCount(-1)); }, 0);
    row("appcount-minus-two", [](ExternalApps &a) { return QVariant(a.AppCount(-2)); }, QVariant(), 9);
    row("appcount-unused-slot", [](ExternalApps &a) { return QVariant(a.AppCount(4)); }, 0);
    row("appcount-past-table", [](ExternalApps &a) { return QVariant(a.AppCount(5)); }, QVariant(), 9);
    row("appcount-digits-are-a-name", [](ExternalApps &a) { return QVariant(a.AppCount(name("1"))); }, 0);
    row("appcount-double-rounds", [](ExternalApps &a) { return QVariant(a.AppCount(0.5)); }, 2);
    row("appcount-double-rounds-up", [](ExternalApps &a) { return QVariant(a.AppCount(1.5)); }, 0);
    row("appcount-overflow", [](ExternalApps &a) { return QVariant(a.AppCount(40000)); }, QVariant(), 6);
    row("appcount-type-mismatch", [](ExternalApps &a) { return QVariant(a.AppCount(QVariantList())); }, QVariant(), 13);
    row("groupname-unused-slot", [](ExternalApps &a) { return QVariant(a.GroupName(3)); }, QString());
    row("groupname-past-table", [](ExternalApps &a) { return QVariant(a.GroupName(5)); }, QVariant(), 9);
    row("groupname-negative", [](ExternalApps &a) { return QVariant(a.GroupName(-1)); }, QVariant(), 9);
    row("appname-by-group-name", [](ExternalApps &a) { return QVariant(a.ApplicationName(name("Games"), 0)); }, s("Chess"));
    row("appname-unknown-group", [](ExternalApps &a) { return QVariant(a.ApplicationName(name("tools"), 0)); }, QVariant(), 9);
    row("appname-past-table", [](ExternalApps &a) { return QVariant(a.ApplicationName(0, 5)); }, QVariant(), 9);
    row("path-by-names", [](ExternalApps &a) { return QVariant(a.AppPath(name("Tools"), name("Editor"))); }, s("/bin/ed"));
    row("path-app-name-other-case", [](ExternalApps &a) { return QVariant(a.AppPath(name("Tools"), name("editor"))); }, QVariant(), 9);
    row("path-by-numbers", [](ExternalApps &a) { return QVariant(a.AppPath(1, 0)); }, s("/usr/games/chess"));
    row("path-app-name-in-unused-group-slot", [](ExternalApps &a) { return QVariant(a.AppPath(4, name("Editor"))); }, QVariant(), 9);
    row("path-app-name-past-table", [](ExternalApps &a) { return QVariant(a.AppPath(7, name("Editor"))); }, QVariant(), 9);
    row("cmdline", [](ExternalApps &a) { return QVariant(a.CmdLine(name("Tools"), 0)); }, s("-p %FILE%"));
    row("protected-true", [](ExternalApps &a) { return QVariant(a.AppProtected(name("Tools"), name("Viewer"))); }, -1);
    row("protected-false", [](ExternalApps &a) { return QVariant(a.AppProtected(0, 0)); }, 0);
    row("searchstring-empty-table", [](ExternalApps &a) { return QVariant(a.SearchString(0)); }, QVariant(), 9);
}

void tst_ExternalApps::reads()
{
    QFETCH(Read, read);
    QFETCH(QVariant, expected);
    QFETCH(int, error);

    ExternalApps apps;
    fillTwoGroups(apps);
    try {
        const QVariant value = read(apps);
        QCOMPARE(error, 0);
        QCOMPARE(value.toString(), expected.toString());
    } catch (const ComponentError &e) {
        QCOMPARE(e.number(), error);
    }
}

void tst_ExternalApps::failingMembersChangeNothing_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<int>("error");

    QTest::newRow("maxapps-zero") << Call([](ExternalApps &a) { a.setMaxApps(0); }) << 9;
    QTest::newRow("maxgroups-zero") << Call([](ExternalApps &a) { a.setMaxGroups(0); }) << 9;
    QTest::newRow("maxgroups-below-count") << Call([](ExternalApps &a) { a.setMaxGroups(1); }) << 9;
    QTest::newRow("maxapps-below-count") << Call([](ExternalApps &a) { a.setMaxApps(1); }) << 9;
    QTest::newRow("cmdline-past-table") << Call([](ExternalApps &a) { a.setCmdLine(0, 5, s("x")); }) << 9;
    QTest::newRow("path-unknown-app") << Call([](ExternalApps &a) { a.setAppPath(0, name("Nope"), s("x")); }) << 9;
    QTest::newRow("groupname-past-table") << Call([](ExternalApps &a) { a.setGroupName(5, s("x")); }) << 9;
    QTest::newRow("appname-overflow") << Call([](ExternalApps &a) { a.setApplicationName(70000, 0, s("x")); }) << 6;
    QTest::newRow("appname-negative-app") << Call([](ExternalApps &a) { a.setApplicationName(0, -1, s("x")); }) << 9;
    QTest::newRow("editapp-unknown-old-group")
        << Call([](ExternalApps &a) { a.EditApp(s("Nope"), s("Editor"), s("Games"), s("Editor"), false); }) << 9;
    QTest::newRow("editapp-unknown-old-app")
        << Call([](ExternalApps &a) { a.EditApp(s("Tools"), s("Nope"), s("Tools"), s("X"), false); }) << 9;
    QTest::newRow("editapp-path-not-text")
        << Call([](ExternalApps &a) { a.EditApp(s("Tools"), s("Editor"), s("Games"), s("E"), false, QVariantList()); }) << 13;
    QTest::newRow("deleteapp-past-table") << Call([](ExternalApps &a) { a.DeleteApp(9, 0); }) << 9;
    QTest::newRow("deleteapp-app-past-table") << Call([](ExternalApps &a) { a.DeleteApp(0, 9); }) << 9;
}

void tst_ExternalApps::failingMembersChangeNothing()
{
    QFETCH(Call, call);
    QFETCH(int, error);

    ExternalApps apps;
    fillTwoGroups(apps);
    const auto snapshot = [](ExternalApps &a) {
        QStringList rows{QString::number(a.MaxGroups()), QString::number(a.MaxApps())};
        for (qint16 g = 0; g < a.MaxGroups(); ++g) {
            rows << a.GroupName(g) + u':' + QString::number(a.AppCount(g));
            for (qint16 i = 0; i < a.MaxApps(); ++i)
                rows << a.ApplicationName(g, i) + u'|' + a.AppPath(g, i) + u'|' + a.CmdLine(g, i) + u'|'
                            + QString::number(a.AppProtected(g, i));
        }
        return rows;
    };
    const QStringList before = snapshot(apps);
    QCOMPARE(errorOf(call, apps), error);
    QCOMPARE(snapshot(apps), before);
}

void tst_ExternalApps::slotsBeyondTheCounts()
{
    ExternalApps apps;
    QVERIFY(apps.AddApp(s("Tools"), s("Editor"), s("/bin/ed"), QString(), false));

    apps.setCmdLine(0, 4, s("stored in slot 4"));
    QCOMPARE(apps.AppCount(0), qint16(1));
    QCOMPARE(apps.CmdLine(0, 4), s("stored in slot 4"));

    // A name stored beyond the count is invisible to look-ups, and AddApp overwrites the slot
    // when it takes it.
    apps.setApplicationName(0, 1, s("Hidden"));
    QCOMPARE(apps.AddApp(s("Tools"), s("Hidden"), s("/bin/h"), QString(), false), true);
    QCOMPARE(apps.AppCount(0), qint16(2));
    QCOMPARE(apps.AppPath(0, 1), s("/bin/h"));

    apps.setGroupName(3, s("Ghost"));
    QCOMPARE(apps.AppCount(name("Ghost")), qint16(0));
    QCOMPARE(apps.GroupCount(), qint16(1));

    // A second group of the same name: an application name is looked up by the group's name,
    // so in the first group of that name, and the index found addresses the slot given.
    QVERIFY(apps.AddApp(s("Games"), s("Chess"), s("/chess"), QString(), false));
    apps.setGroupName(1, s("Tools"));
    QCOMPARE(apps.AppPath(1, name("Hidden")), QString());
    QCOMPARE(apps.AppPath(0, name("Hidden")), s("/bin/h"));
    QCOMPARE(errorOf([](ExternalApps &a) { a.AppPath(1, name("Chess")); }, apps), 9);
    // DeleteApp looks the name up in the group it was given.
    apps.DeleteApp(1, name("Chess"));
    QCOMPARE(apps.GroupCount(), qint16(1));
}

void tst_ExternalApps::resizing_data()
{
    QTest::addColumn<qint16>("maxGroups");
    QTest::addColumn<qint16>("maxApps");

    QTest::newRow("grow") << qint16(40) << qint16(300);
    QTest::newRow("shrink-to-what-is-used") << qint16(2) << qint16(2);
    QTest::newRow("largest") << qint16(32767) << qint16(32767);
}

void tst_ExternalApps::resizing()
{
    QFETCH(qint16, maxGroups);
    QFETCH(qint16, maxApps);

    ExternalApps apps;
    fillTwoGroups(apps);
    apps.setCmdLine(1, 1, s("beyond the count"));
    apps.setMaxGroups(maxGroups);
    apps.setMaxApps(maxApps);
    QCOMPARE(apps.MaxGroups(), maxGroups);
    QCOMPARE(apps.MaxApps(), maxApps);
    QCOMPARE(apps.GroupCount(), qint16(2));
    QCOMPARE(apps.AppPath(name("Tools"), name("Viewer")), s("/bin/view"));
    QCOMPARE(apps.CmdLine(1, 1), maxApps > 1 ? s("beyond the count") : QString());
    QCOMPARE(apps.GroupName(maxGroups - 1), maxGroups > 2 ? QString() : s("Games"));
    QCOMPARE(errorOf([&](ExternalApps &a) { a.GroupName(maxGroups); }, apps), 9);
    QCOMPARE(errorOf([&](ExternalApps &a) { a.AppPath(0, maxApps); }, apps), 9);
}

void tst_ExternalApps::raisingMaxGroupsGivesTablesAtOnce()
{
    ExternalApps apps;
    apps.setMaxApps(3);
    apps.setMaxGroups(8);
    for (int g = 0; g < 8; ++g)
        QVERIFY(apps.AddApp(QString::number(g), s("App"), s("/bin/x"), QString(), false));
    QCOMPARE(apps.MaxApps(), qint16(3));
    apps.setCmdLine(7, 2, s("last slot"));
    QCOMPARE(apps.CmdLine(7, 2), s("last slot"));
}

void tst_ExternalApps::language_data()
{
    QTest::addColumn<int>("assigned");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("offset");

    QTest::newRow("english") << 0 << 0 << 0;
    QTest::newRow("german") << 1 << 1 << 250;
    QTest::newRow("french") << 2 << 2 << 500;
    QTest::newRow("above-range") << 7 << 0 << 0;
    QTest::newRow("negative") << -1 << 0 << 0;
}

void tst_ExternalApps::language()
{
    QFETCH(int, assigned);
    QFETCH(int, stored);
    QFETCH(int, offset);

    ExternalApps apps;
    Captions::setLanguage(Language::lFrench);
    apps.setLanguage(static_cast<Language>(assigned));
    QCOMPARE(static_cast<int>(apps.Language()), stored);
    QCOMPARE(Captions::LanguageOffset(), offset);
    Captions::setLanguage(Language::lEnglish);
}

void tst_ExternalApps::languageOffsetIsLibraryWide()
{
    ExternalApps first;
    first.setLanguage(Language::lFrench);
    ExternalApps second;
    QCOMPARE(second.Language(), Language::lEnglish);
    QCOMPARE(Captions::LanguageOffset(), 500);
    second.setLanguage(Language::lEnglish);
    QCOMPARE(Captions::LanguageOffset(), 0);
    QCOMPARE(first.Language(), Language::lFrench);
}

void tst_ExternalApps::extFile()
{
    QTemporaryDir dir;
    ExternalApps apps;
    const QString missing = dir.filePath(s("missing.lst"));
    apps.setEXTFile(missing);
    QCOMPARE(apps.EXTFile(), missing);
    QCOMPARE(apps.GroupCount(), qint16(0));
    apps.setEXTFile(QString());
    QCOMPARE(apps.EXTFile(), missing);
    // A folder is no launch list: the assignment fails, the path stays stored.
    QCOMPARE(errorOf([&](ExternalApps &a) { a.setEXTFile(dir.path()); }, apps), 75);
    QCOMPARE(apps.EXTFile(), dir.path());
    QCOMPARE(apps.GroupCount(), qint16(0));
}

// Large catalogues are looked up through indexes; repeated names still find the lowest slot.
void tst_ExternalApps::lookupsScaleAndFirstMatchWins()
{
    ExternalApps apps;
    apps.setMaxGroups(2000);
    apps.setMaxApps(2000);
    for (int g = 0; g < 200; ++g)
        for (int a = 0; a < 50; ++a)
            QVERIFY(apps.AddApp(u'G' + QString::number(g), u'A' + QString::number(a), s("/p"), QString(), false));
    apps.setGroupName(150, s("G10"));
    apps.setApplicationName(s("G10"), 40, s("A3"));
    apps.setCmdLine(s("G10"), s("A3"), s("first"));
    QCOMPARE(apps.CmdLine(10, 3), s("first"));
    QCOMPARE(apps.CmdLine(10, 40), QString());

    apps.DeleteApp(s("G10"), s("A0"));
    apps.setCmdLine(s("G10"), s("A3"), s("moved down"));
    QCOMPARE(apps.CmdLine(10, 2), s("moved down"));

    apps.setGroupName(10, s("Renamed"));
    QCOMPARE(apps.AppCount(name("G10")), qint16(50)); // now group 150
    QCOMPARE(apps.AppCount(name("Renamed")), qint16(49));
}

QTEST_GUILESS_MAIN(tst_ExternalApps)
#include "tst_externalapps.moc"

#include <Lanyard/ExternalApps.h>

#include <QTest>

using namespace Lanyard;

namespace {

QString s(const char *text) { return QString::fromUtf8(text); }

// The catalogue as "Group: App(path|cmd|flag) ..." lines, groups and applications in order.
QStringList dump(ExternalApps &apps)
{
    QStringList lines;
    for (qint16 g = 0; g < apps.GroupCount(); ++g) {
        QString line = apps.GroupName(g) + u':';
        for (qint16 a = 0; a < apps.AppCount(g); ++a)
            line += u' ' + apps.ApplicationName(g, a) + u'(' + apps.AppPath(g, a) + u'|' + apps.CmdLine(g, a) + u'|'
                + QString::number(apps.AppProtected(g, a)) + u')';
        lines << line;
    }
    return lines;
}

void add(ExternalApps &apps, const char *group, const char *app, bool isProtected = false)
{
    QVERIFY(apps.AddApp(s(group), s(app), u'/' + s(app), s("-x"), isProtected));
}

} // namespace

class tst_CatalogueEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void limitsOnAdd();
    void addUpdatesExistingEntry();
    void addIsCaseSensitive();
    void deleteClosesGapsAndRemovesGroups_data();
    void deleteClosesGapsAndRemovesGroups();
    void deleteOfGroupKeepsVacatedSlot();
    void editApp_data();
    void editApp();
};

void tst_CatalogueEditing::limitsOnAdd()
{
    ExternalApps apps;
    for (const char *group : {"A", "B", "C", "D", "E"})
        add(apps, group, "x");
    QCOMPARE(apps.AddApp(s("F"), s("x"), s("/x"), QString(), false), false);
    QCOMPARE(apps.GroupCount(), qint16(5));

    for (const char *app : {"2", "3", "4", "5"})
        add(apps, "A", app);
    QCOMPARE(apps.AddApp(s("A"), s("6"), s("/6"), QString(), false), false);
    QCOMPARE(apps.AppCount(s("A")), qint16(5));
    QCOMPARE(dump(apps).first(), s("A: x(/x|-x|0) 2(/2|-x|0) 3(/3|-x|0) 4(/4|-x|0) 5(/5|-x|0)"));
}

void tst_CatalogueEditing::addUpdatesExistingEntry()
{
    ExternalApps apps;
    apps.setMaxApps(1);
    add(apps, "Tools", "Editor", true);
    // A full group still takes an update, which keeps the name and the protected flag.
    QVERIFY(apps.AddApp(s("Tools"), s("Editor"), s("/new"), s("--new"), false));
    QCOMPARE(dump(apps), QStringList{s("Tools: Editor(/new|--new|-1)")});
}

void tst_CatalogueEditing::addIsCaseSensitive()
{
    ExternalApps apps;
    add(apps, "Tools", "Editor");
    add(apps, "tools", "Editor");
    add(apps, "Tools", "editor", true);
    QCOMPARE(dump(apps), (QStringList{s("Tools: Editor(/Editor|-x|0) editor(/editor|-x|-1)"),
                                      s("tools: Editor(/Editor|-x|0)")}));
}

void tst_CatalogueEditing::deleteClosesGapsAndRemovesGroups_data()
{
    QTest::addColumn<QVariant>("group");
    QTest::addColumn<QVariant>("app");
    QTest::addColumn<QStringList>("expected");

    const QString a = s("A: a1(/a1|-x|0)");
    const QString b = s("B: b1(/b1|-x|0) b2(/b2|-x|-1) b3(/b3|-x|0)");
    const QString c = s("C: c1(/c1|-x|0)");
    QTest::newRow("only-app-of-first-group") << QVariant(s("A")) << QVariant(s("a1")) << QStringList{b, c};
    QTest::newRow("middle-app-by-numbers")
        << QVariant(1) << QVariant(1) << QStringList{a, s("B: b1(/b1|-x|0) b3(/b3|-x|0)"), c};
    QTest::newRow("first-app-by-name")
        << QVariant(s("B")) << QVariant(s("b1")) << QStringList{a, s("B: b2(/b2|-x|-1) b3(/b3|-x|0)"), c};
    QTest::newRow("last-group") << QVariant(2) << QVariant(0) << QStringList{a, b};
    QTest::newRow("unknown-group-name") << QVariant(s("Z")) << QVariant(0) << QStringList{a, b, c};
    QTest::newRow("unknown-app-name") << QVariant(s("B")) << QVariant(s("B1")) << QStringList{a, b, c};
    QTest::newRow("minus-one") << QVariant(-1) << QVariant(0) << QStringList{a, b, c};
    QTest::newRow("digits-are-a-name") << QVariant(s("0")) << QVariant(0) << QStringList{a, b, c};
    QTest::newRow("unused-slot-inside-table") << QVariant(1) << QVariant(4) << QStringList{a, b, c};
    QTest::newRow("unused-group-slot") << QVariant(4) << QVariant(0) << QStringList{a, b, c};
}

void tst_CatalogueEditing::deleteClosesGapsAndRemovesGroups()
{
    QFETCH(QVariant, group);
    QFETCH(QVariant, app);
    QFETCH(QStringList, expected);

    ExternalApps apps;
    add(apps, "A", "a1");
    add(apps, "B", "b1");
    add(apps, "B", "b2", true);
    add(apps, "B", "b3");
    add(apps, "C", "c1");
    apps.DeleteApp(group, app);
    QCOMPARE(dump(apps), expected);
}

void tst_CatalogueEditing::deleteOfGroupKeepsVacatedSlot()
{
    ExternalApps apps;
    add(apps, "A", "a1");
    add(apps, "B", "b1");
    apps.DeleteApp(s("B"), s("b1"));
    QCOMPARE(apps.GroupCount(), qint16(1));
    // The vacated slot keeps its name; the reset application slot is empty.
    QCOMPARE(apps.GroupName(1), s("B"));
    QCOMPARE(apps.AppPath(1, 0), QString());
    QCOMPARE(apps.AppCount(s("B")), qint16(0));

    apps.DeleteApp(s("A"), s("a1"));
    QCOMPARE(apps.GroupCount(), qint16(0));
    add(apps, "New", "n1");
    QCOMPARE(dump(apps), QStringList{s("New: n1(/n1|-x|0)")});
}

void tst_CatalogueEditing::editApp_data()
{
    QTest::addColumn<QStringList>("arguments"); // old group, old app, new group, new app
    QTest::addColumn<bool>("isProtected");
    QTest::addColumn<QVariant>("path");
    QTest::addColumn<QVariant>("cmd");
    QTest::addColumn<QStringList>("expected");

    const QString a = s("A: a1(/a1|-x|0) a2(/a2|-x|-1)");
    const QString b = s("B: b1(/b1|-x|0)");
    QTest::newRow("in-place-keeps-path-and-cmd")
        << QStringList{s("A"), s("a1"), s("A"), s("renamed")} << true << QVariant() << QVariant()
        << QStringList{s("A: renamed(/a1|-x|-1) a2(/a2|-x|-1)"), b};
    QTest::newRow("empty-cmd-counts-as-given")
        << QStringList{s("A"), s("a2"), s("A"), s("a2")} << false << QVariant() << QVariant(QString())
        << QStringList{s("A: a1(/a1|-x|0) a2(/a2||0)"), b};
    QTest::newRow("number-as-text")
        << QStringList{s("A"), s("a1"), s("A"), s("a1")} << false << QVariant(42) << QVariant(1.5)
        << QStringList{s("A: a1(42|1.5|0) a2(/a2|-x|-1)"), b};
    QTest::newRow("rename-to-duplicate-keeps-both")
        << QStringList{s("A"), s("a2"), s("A"), s("a1")} << true << QVariant() << QVariant()
        << QStringList{s("A: a1(/a1|-x|0) a1(/a2|-x|-1)"), b};
    QTest::newRow("move-to-existing-group")
        << QStringList{s("A"), s("a1"), s("B"), s("a1")} << true << QVariant(s("/p")) << QVariant()
        << QStringList{s("A: a2(/a2|-x|-1)"), s("B: b1(/b1|-x|0) a1(/p|-x|-1)")};
    QTest::newRow("move-onto-same-name-keeps-its-flag")
        << QStringList{s("A"), s("a2"), s("B"), s("b1")} << true << QVariant() << QVariant()
        << QStringList{s("A: a1(/a1|-x|0)"), s("B: b1(/a2|-x|0)")};
    QTest::newRow("move-only-app-to-new-group")
        << QStringList{s("B"), s("b1"), s("C"), s("c1")} << false << QVariant() << QVariant()
        << QStringList{a, s("C: c1(/b1|-x|0)")};
    QTest::newRow("group-name-case-differs-is-a-move")
        << QStringList{s("B"), s("b1"), s("b"), s("b1")} << false << QVariant() << QVariant()
        << QStringList{a, s("b: b1(/b1|-x|0)")};
    QTest::newRow("move-to-full-group-changes-nothing")
        << QStringList{s("B"), s("b1"), s("Full"), s("b1")} << false << QVariant() << QVariant()
        << QStringList{a, b, s("Full: f1(/f1|-x|0) f2(/f2|-x|0) f3(/f3|-x|0) f4(/f4|-x|0) f5(/f5|-x|0)")};
}

void tst_CatalogueEditing::editApp()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, isProtected);
    QFETCH(QVariant, path);
    QFETCH(QVariant, cmd);
    QFETCH(QStringList, expected);

    ExternalApps apps;
    add(apps, "A", "a1");
    add(apps, "A", "a2", true);
    add(apps, "B", "b1");
    if (expected.size() == 3) {
        for (const char *app : {"f1", "f2", "f3", "f4", "f5"})
            add(apps, "Full", app);
    }
    apps.EditApp(arguments[0], arguments[1], arguments[2], arguments[3], isProtected, path, cmd);
    QCOMPARE(dump(apps), expected);
}

QTEST_GUILESS_MAIN(tst_CatalogueEditing)
#include "tst_catalogueediting.moc"

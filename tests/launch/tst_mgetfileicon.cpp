#include "icons/mGetFileIcon.h"

#include <Lanyard/ExternalApps.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Lanyard::mGetFileIcon::GetFileIcon;

namespace {

constexpr qint32 smallIcon = 1;
constexpr qint32 largeIcon = 2;

QColor centreColour(const QIcon &icon) { return icon.pixmap(16, 16).toImage().pixelColor(8, 8); }

bool writeFile(const QString &path, const QByteArray &contents, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

QByteArray desktopEntry(const QString &exec, const QString &icon)
{
    return "[Desktop Entry]\nType=Application\n# a comment\n\na line without a key\nName=Test\nExec=" + exec.toUtf8() + "\nIcon=" + icon.toUtf8()
           + "\n";
}

} // namespace

class TstMGetFileIcon : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_system;

    QString home(const QString &relative) const { return m_home.filePath(relative); }
    QString program(const QString &name) const { return home(u"bin/"_s + name); }
    QString picture(const QString &name) const { return home(u"pictures/%1.png"_s.arg(name)); }
    void addProgram(const QString &name) { QVERIFY(writeFile(program(name), "#!/bin/sh\nexit 0\n", true)); }
    void addEntry(const QString &id, const QByteArray &contents, const QString &dataDir = {})
    {
        QVERIFY(writeFile((dataDir.isEmpty() ? m_home.path() : dataDir) + u"/applications/"_s + id, contents));
    }

private Q_SLOTS:
    // Everything the desktop entry scan and the icon theme see must exist before the first lookup.
    void initTestCase()
    {
        QVERIFY(m_home.isValid() && m_system.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        const QByteArray systemDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", m_system.path().toUtf8() + ':' + (systemDirs.isEmpty() ? "/usr/local/share:/usr/share" : systemDirs));
        qputenv("PATH", program(QString()).toUtf8() + ':' + qgetenv("PATH"));

        for (const char *name : {"abs-prog", "theme-prog", "suffix-prog", "path-prog", "spaced prog", "env-prog", "sub-prog",
                                 "shadow-prog", "hidden-prog", "link-type-prog", "no-icon-prog", "other-group-prog",
                                 "missing-icon-prog", "unknown-theme-prog", "plain-script"})
            addProgram(QString::fromUtf8(name));
        QVERIFY(QDir().mkpath(home(u"links"_s)) && QFile::link(program(u"abs-prog"_s), home(u"links/abs-link"_s)));
        QVERIFY(writeFile(home(u"notes.txt"_s), "some text\n"));

        const auto writeIcon = [](const QString &path, Qt::GlobalColor colour) {
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(colour);
            return QDir().mkpath(QFileInfo(path).absolutePath()) && image.save(path, "PNG");
        };
        QVERIFY(writeIcon(home(u"icons/hicolor/16x16/apps/lanyard-test-green.png"_s), Qt::green));
        const std::pair<const char *, Qt::GlobalColor> pictures[] = {
            {"red", Qt::red}, {"blue", Qt::blue}, {"yellow", Qt::yellow}, {"cyan", Qt::cyan}, {"magenta", Qt::magenta},
            {"gray", Qt::gray}, {"darkgreen", Qt::darkGreen}, {"darkred", Qt::darkRed}};
        for (const auto &[name, colour] : pictures)
            QVERIFY(writeIcon(picture(QString::fromUtf8(name)), colour));

        addEntry(u"abs.desktop"_s, desktopEntry(program(u"abs-prog"_s) + u" %F"_s, picture(u"red"_s)));
        addEntry(u"theme.desktop"_s, desktopEntry(program(u"theme-prog"_s), u"lanyard-test-green"_s));
        addEntry(u"suffix.desktop"_s, desktopEntry(program(u"suffix-prog"_s), u"lanyard-test-green.png"_s));
        addEntry(u"path.desktop"_s, desktopEntry(u"path-prog --flag"_s, picture(u"blue"_s)));
        addEntry(u"spaced.desktop"_s, desktopEntry(u"\"%1\" %u"_s.arg(program(u"spaced prog"_s)), picture(u"yellow"_s)));
        addEntry(u"env.desktop"_s, desktopEntry(u"env LANG=C %1"_s.arg(program(u"env-prog"_s)), picture(u"cyan"_s)));
        addEntry(u"vendor/sub.desktop"_s, desktopEntry(program(u"sub-prog"_s), picture(u"magenta"_s)));
        addEntry(u"shadow.desktop"_s, desktopEntry(program(u"shadow-prog"_s), picture(u"gray"_s)), m_system.path());
        addEntry(u"shadow.desktop"_s, desktopEntry(program(u"shadow-prog"_s), picture(u"darkgreen"_s)));
        // Entries that must give no icon of their own: they would show dark red.
        const QString darkRed = picture(u"darkred"_s);
        addEntry(u"hidden.desktop"_s, desktopEntry(program(u"hidden-prog"_s), darkRed), m_system.path());
        addEntry(u"hidden.desktop"_s, "[Desktop Entry]\nHidden=true\n");
        addEntry(u"link.desktop"_s, desktopEntry(program(u"link-type-prog"_s), darkRed).replace("Type=Application", "Type=Link"));
        addEntry(u"noicon.desktop"_s, "[Desktop Entry]\nType=Application\nExec=" + program(u"no-icon-prog"_s).toUtf8() + "\n");
        addEntry(u"othergroup.desktop"_s, "[Desktop Entry]\nType=Application\nExec=" + program(u"other-group-prog"_s).toUtf8()
                                              + "\n[Desktop Action x]\nIcon=" + darkRed.toUtf8() + "\n");
        addEntry(u"missingicon.desktop"_s, desktopEntry(program(u"missing-icon-prog"_s), picture(u"none"_s)));
        addEntry(u"unknowntheme.desktop"_s, desktopEntry(program(u"unknown-theme-prog"_s), u"lanyard-no-such-icon"_s));
    }
    void cleanup() { Lanyard::mGetFileIcon::setEntryCheckInterval(500ms); }

    // First: the first lookup of all is where a theme would be set up.
    void hostThemeLeftAlone_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("none") << QString();
        QTest::newRow("the-host's") << u"lanyard-host-theme"_s;
    }
    void hostThemeLeftAlone()
    {
        QFETCH(QString, theme);
        const QString themeBefore = QIcon::themeName();
        QIcon::setThemeName(theme);
        const QString fallback = QIcon::fallbackThemeName();
        const QStringList searchPaths = QIcon::themeSearchPaths();
        {
            Lanyard::ExternalApps apps;
            QVERIFY(apps.AddApp(u"Tools"_s, u"Themed"_s, program(u"theme-prog"_s), QString(), false));
            QVERIFY(apps.AddApp(u"Tools"_s, u"Script"_s, program(u"plain-script"_s), QString(), false));
            QCOMPARE(centreColour(apps.Icon(0, 0)), QColor(Qt::green));
            QVERIFY(!apps.Icon(0, 1).isNull());
        }
        QCOMPARE(QIcon::themeName(), theme);
        QCOMPARE(QIcon::fallbackThemeName(), fallback);
        QCOMPARE(QIcon::themeSearchPaths(), searchPaths);
        QIcon::setThemeName(themeBefore);
    }

    void iconOfPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QColor>("colour"); // the desktop entry's picture; none for the file type's icon
        QTest::newRow("absolute-icon-file") << program(u"abs-prog"_s) << true << QColor(Qt::red);
        QTest::newRow("theme-icon-name") << program(u"theme-prog"_s) << true << QColor(Qt::green);
        QTest::newRow("theme-name-with-image-suffix") << program(u"suffix-prog"_s) << true << QColor(Qt::green);
        QTest::newRow("program-found-on-path") << program(u"path-prog"_s) << true << QColor(Qt::blue);
        QTest::newRow("symlink-to-program") << home(u"links/abs-link"_s) << true << QColor(Qt::red);
        QTest::newRow("quoted-exec-with-space") << program(u"spaced prog"_s) << true << QColor(Qt::yellow);
        QTest::newRow("env-prefix") << program(u"env-prog"_s) << true << QColor(Qt::cyan);
        QTest::newRow("entry-in-subfolder") << program(u"sub-prog"_s) << true << QColor(Qt::magenta);
        QTest::newRow("user-entry-hides-system-entry") << program(u"shadow-prog"_s) << true << QColor(Qt::darkGreen);
        QTest::newRow("hidden-user-entry-hides-system-entry") << program(u"hidden-prog"_s) << true << QColor();
        QTest::newRow("entry-of-type-link") << program(u"link-type-prog"_s) << true << QColor();
        QTest::newRow("entry-without-icon") << program(u"no-icon-prog"_s) << true << QColor();
        QTest::newRow("icon-outside-main-group") << program(u"other-group-prog"_s) << true << QColor();
        QTest::newRow("icon-file-missing") << program(u"missing-icon-prog"_s) << true << QColor();
        QTest::newRow("icon-name-not-in-theme") << program(u"unknown-theme-prog"_s) << true << QColor();
        QTest::newRow("script-without-entry") << program(u"plain-script"_s) << true << QColor();
        QTest::newRow("system-shell") << u"/bin/sh"_s << true << QColor();
        QTest::newRow("text-file") << home(u"notes.txt"_s) << true << QColor();
        QTest::newRow("missing-file") << program(u"no-such-program"_s) << false << QColor();
        QTest::newRow("directory") << home(u"bin"_s) << false << QColor();
        QTest::newRow("empty-path") << QString() << false << QColor();
        QTest::newRow("device-file") << u"/dev/null"_s << false << QColor();
    }
    void iconOfPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, found);
        QFETCH(QColor, colour);
        const QIcon icon = GetFileIcon(path, smallIcon);
        QCOMPARE(!icon.isNull(), found);
        QCOMPARE(!GetFileIcon(path, largeIcon).isNull(), found);
        if (!found)
            return;
        QVERIFY(!icon.pixmap(16, 16).isNull() && !GetFileIcon(path, largeIcon).pixmap(32, 32).isNull());
        if (colour.isValid())
            QCOMPARE(centreColour(icon), colour);
        else if (path.startsWith(program(QString()))) // a script like plain-script: its file type's icon
            QCOMPARE(icon.cacheKey(), GetFileIcon(program(u"plain-script"_s), smallIcon).cacheKey());
        // The same icon each time, for both sizes, while the file stays as it is.
        QCOMPARE(GetFileIcon(path, largeIcon).cacheKey(), icon.cacheKey());
        Lanyard::mGetFileIcon::setEntryCheckInterval(0ms);
        QCOMPARE(GetFileIcon(path, smallIcon).cacheKey(), icon.cacheKey());
    }

    void changesAreNoticed()
    {
        // Each lookup looks at the file; the desktop entries are checked on the default interval.
        const QString path = program(u"comes-and-goes"_s);
        QVERIFY(GetFileIcon(path, smallIcon).isNull());
        addProgram(u"comes-and-goes"_s);
        QVERIFY(!GetFileIcon(path, smallIcon).isNull());
        QCOMPARE_NE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::red));
        addEntry(u"late.desktop"_s, desktopEntry(path, picture(u"red"_s)));
        QTRY_COMPARE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::red));
        // An entry edited in place, its folder left as it was.
        QFile entry(home(u"applications/late.desktop"_s));
        QVERIFY(entry.open(QIODevice::ReadWrite));
        const QByteArray edited = entry.readAll().replace("red", "cyan");
        QVERIFY(entry.seek(0) && entry.write(edited) == edited.size());
        entry.close();
        QTRY_COMPARE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::cyan));
        QVERIFY(QFile::remove(path));
        QVERIFY(GetFileIcon(path, smallIcon).isNull());
    }

    void withoutAGuiApplication_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("core-application") << u"core"_s;
        QTest::newRow("no-application-object") << u"none"_s;
    }
    void withoutAGuiApplication()
    {
        QFETCH(QString, host);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--host"_s, host, program(u"abs-prog"_s)});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("added, null icon\n"));
    }

    void iconsOfTheCatalogue()
    {
        Lanyard::ExternalApps apps;
        QVERIFY(apps.AddApp(u"Tools"_s, u"First"_s, program(u"abs-prog"_s), QString(), false));
        QVERIFY(apps.AddApp(u"Tools"_s, u"Later"_s, program(u"installed-later"_s), QString(), false));
        const QIcon icon = apps.Icon(u"Tools"_s, 0);
        QVERIFY(!icon.isNull());
        QCOMPARE(apps.Icon(0, 0).cacheKey(), icon.cacheKey());
        QVERIFY(apps.Icon(0, 1).isNull()); // the program is missing
        QVERIFY(apps.Icon(0, 4).isNull()); // a slot never used
        // An edit that leaves the path as it is takes the icon again.
        addProgram(u"installed-later"_s);
        apps.EditApp(u"Tools"_s, u"Later"_s, u"Tools"_s, u"Later"_s, false);
        QCOMPARE(apps.AppPath(0, 1), program(u"installed-later"_s));
        QVERIFY(!apps.Icon(0, 1).isNull());
        // A delete resets the slot beyond the new count.
        apps.DeleteApp(0, 0);
        QVERIFY(!apps.Icon(0, 0).isNull());
        QVERIFY(apps.Icon(0, 1).isNull());
    }
};

/// A host of the kind --host names ("core": a QCoreApplication; "none": no application object)
/// adds an existing program and tells how that went.
int runHostWithoutGui(int argc, char **argv)
{
    const bool core = qstrcmp(argv[2], "core") == 0;
    std::optional<QCoreApplication> app;
    if (core)
        app.emplace(argc, argv);
    Lanyard::ExternalApps apps;
    const bool added = apps.AddApp(u"Tools"_s, u"App"_s, QString::fromLocal8Bit(argv[3]), QString(), false);
    std::printf("%s, %s icon\n", added ? "added" : "refused", apps.Icon(0, 0).isNull() ? "null" : "an");
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--host") == 0)
        return runHostWithoutGui(argc, argv);
    QApplication app(argc, argv);
    TstMGetFileIcon test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mgetfileicon.moc"

// SPDX-License-Identifier: MIT
// A program's icon: from the desktop entry that starts it, through the icon theme (its cache or
// its folders), else its file type's; found without touching the host's own theme.
#include "common/Files.h"
#include "icons/IconTheme.h"
#include "icons/mGetFileIcon.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

using namespace std::chrono_literals;
using Lanyard::mGetFileIcon::GetFileIcon;

namespace {

constexpr qint32 smallIcon = 1;
constexpr qint32 largeIcon = 2;

QColor centreColour(const QIcon &icon) { return icon.pixmap(16, 16).toImage().pixelColor(8, 8); }

bool writeFile(const QString &path, const QByteArray &contents, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return TestFiles::write(path, contents)
           && (!executable || QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner));
}

bool writeIcon(const QString &path, QColor colour)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

QByteArray desktopEntry(const QString &exec, const QString &icon)
{
    return "[Desktop Entry]\nType=Application\nHidden=false\n# a comment\n\na line without a key\nName=Test\nExec="
           + exec.toUtf8() + "\nIcon=" + icon.toUtf8() + "\n";
}

/// An icon-theme.cache naming @p icons, PNGs in the theme's one folder "16x16/apps" (each after
/// an image in a folder the cache does not list), all in the one bucket of its hash table: a
/// lookup follows the chain in the order given. A broken cache's chain @p loops back to its start.
QByteArray cacheOf(const QList<QByteArray> &icons, bool loops = false)
{
    QByteArray bytes;
    const auto append = [&bytes](quint32 value, int size = 4) {
        const quint32 big = qToBigEndian(value);
        bytes.append(reinterpret_cast<const char *>(&big) + 4 - size, size);
    };
    append(1, 2), append(0, 2), append(32), append(12); // version, hash table, folder list
    append(1), append(20), bytes += "16x16/apps";
    bytes.resize(32, '\0');
    append(1), append(40);
    for (qsizetype i = 0; i < icons.size(); ++i) {
        // the icon (next, name, image list), its images (folder 1, one past the list, then 0: PNG,
        // no data), its name
        const quint32 at = quint32(bytes.size());
        const quint32 size = 32 + quint32(icons.at(i).size() + 4) / 4 * 4;
        const quint32 last = loops ? 40 : 0xFFFFFFFFu;
        append(i + 1 < icons.size() ? at + size : last), append(at + 32), append(at + 12);
        append(2), append(1, 2), append(4, 2), append(0), append(0, 2), append(4, 2), append(0);
        bytes += icons.at(i);
        bytes.resize(at + size, '\0');
    }
    return bytes;
}

bool setModified(const QString &path, timespec reference, int secondsLater)
{
    reference.tv_sec += secondsLater;
    const timespec times[2] = {{0, UTIME_OMIT}, reference};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

/// colour: the desktop entry's picture, else the file type's icon.
struct IconRow
{
    QString path;
    bool found = false;
    QColor colour;
};

} // namespace

Q_DECLARE_METATYPE(IconRow)

class tst_Icons : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_system;

    QString home(const QString &relative) const { return m_home.filePath(relative); }
    QString program(const QString &name) const { return home("bin/" + name); }
    QString picture(const QString &name) const { return home("pictures/" + name + ".png"); }
    void addProgram(const QString &name) { QVERIFY(writeFile(program(name), "#!/bin/sh\nexit 0\n", true)); }
    void addEntry(const QString &id, const QByteArray &contents, const QString &dataDir = {})
    {
        QVERIFY(writeFile((dataDir.isEmpty() ? m_home.path() : dataDir) + "/applications/" + id, contents));
    }

private Q_SLOTS:
    // All the desktop entries and the theme exist before the first look-up.
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_system.path().toUtf8() + ":/usr/share");
        qputenv("PATH", program("").toUtf8() + ':' + qgetenv("PATH"));
        for (const char *name :
             {"abs-prog",           "theme-prog",     "path-prog",         "shadow-prog",       "hidden-prog",
              "hidden-only-prog",   "link-type-prog", "no-icon-prog",      "other-group-prog",  "missing-icon-prog",
              "unknown-theme-prog", "plain-script",   "system-prog",       "escaped-prog",      "host-prog",
              "env-prog",           "equals=prog",    "scalable-prog",     "after-odd-word",    "menu-prog-1",
              "menu-prog-2",        "menu-prog-3",    "largest-prog",      "too-large-prog",    "menu-prog-4",
              "nested-prog",        "backslash-prog", "before-group-prog", "parent-theme-prog", "size-64-prog",
              "size-65-prog",       "vector-prog",    "png-and-svg-prog"})
            addProgram(name);
        QVERIFY(QDir().mkpath(home("links")) && QFile::link(program("abs-prog"), home("links/abs-link")));
        QVERIFY(writeIcon(home("icons/hicolor/16x16/apps/lanyard-test-green.png"), Qt::green));
        // hicolor's scalable folder says Size=128: scalable, it is searched for every size.
        QVERIFY(writeIcon(home("icons/hicolor/scalable/apps/lanyard-test-scalable.png"), Qt::lightGray));
        QVERIFY(writeFile(home("icons/hicolor/scalable/apps/lanyard-test-vector.svg"),
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\"/>\n"));
        // One size in PNG and SVG: the theme's order of formats decides, PNG first.
        QVERIFY(writeFile(home("icons/hicolor/16x16/apps/lanyard-test-both.svg"),
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                          "<rect width=\"16\" height=\"16\" fill=\"#0000ff\"/></svg>\n"));
        QVERIFY(writeIcon(home("icons/hicolor/16x16/apps/lanyard-test-both.png"), Qt::yellow));
        // File type icons, of a compiled program and of a shell script (known by its first line), in
        // an Adwaita of the test's own that hides the machine's. Its index begins with a blank line.
        QVERIFY(writeFile(home("icons/Adwaita/index.theme"),
                          "\n[Icon Theme]\nInherits=lanyard-parent,hicolor\nDirectories=test\n"
                          "[test]\nSize=16\nType=Fixed\n"));
        QVERIFY(writeIcon(home("icons/Adwaita/test/application-x-executable.png"), Qt::darkBlue));
        // A theme Adwaita inherits before hicolor: searched after Adwaita, before hicolor. Its
        // fixed folders are searched up to 64 pixels; a larger one is not.
        QVERIFY(writeFile(home("icons/lanyard-parent/index.theme"),
                          "[Icon Theme]\nDirectories=16x16/apps,64x64/apps,65x65/apps\n"
                          "[16x16/apps]\nSize=16\nType=Fixed\n[64x64/apps]\nSize=64\nType=Fixed\n"
                          "[65x65/apps]\nSize=65\nType=Fixed\n"));
        QVERIFY(writeIcon(home("icons/lanyard-parent/16x16/apps/lanyard-test-parent.png"), Qt::darkMagenta));
        QVERIFY(writeIcon(home("icons/lanyard-parent/64x64/apps/lanyard-test-64.png"), Qt::darkGreen));
        QVERIFY(writeIcon(home("icons/lanyard-parent/65x65/apps/lanyard-test-65.png"), Qt::darkRed));
        QVERIFY(writeIcon(home("icons/hicolor/16x16/apps/lanyard-test-parent.png"), Qt::red));
        QVERIFY(writeIcon(home("icons/Adwaita/test/application-x-shellscript.png"), Qt::darkCyan));
        QVERIFY(QFile::copy("/bin/true", program("compiled")));
        const std::pair<const char *, Qt::GlobalColor> pictures[] = {{"red", Qt::red},
                                                                     {"blue", Qt::blue},
                                                                     {"yellow", Qt::yellow},
                                                                     {"cyan", Qt::cyan},
                                                                     {"magenta", Qt::magenta},
                                                                     {"gray", Qt::gray},
                                                                     {"darkgreen", Qt::darkGreen},
                                                                     {"darkred", Qt::darkRed},
                                                                     {"dark yellow", Qt::darkYellow},
                                                                     {"darkgray", Qt::darkGray}};
        for (const auto &[name, colour] : pictures)
            QVERIFY(writeIcon(picture(name), colour));

        addEntry("abs.desktop", desktopEntry(program("abs-prog") + " %F", picture("red")));
        addEntry("theme.desktop", desktopEntry(program("theme-prog"), "lanyard-test-green"));
        addEntry("path.desktop", desktopEntry("path-prog --flag", picture("blue")));
        addEntry("shadow.desktop", desktopEntry(program("shadow-prog"), picture("gray")), m_system.path());
        addEntry("shadow.desktop", desktopEntry(program("shadow-prog"), picture("darkgreen")));
        // A system entry listed after the ones the user's hide.
        addEntry("system.desktop", desktopEntry(program("system-prog"), picture("magenta")), m_system.path());
        // Entries that give no icon of their own: they would show dark red.
        const QString darkRed = picture("darkred");
        addEntry("hidden.desktop", desktopEntry(program("hidden-prog"), darkRed), m_system.path());
        addEntry("hidden.desktop", "[Desktop Entry]\nHidden=true\n");
        addEntry("hiddenonly.desktop",
                 "[Desktop Entry]\nType=Application\nHidden=true\nExec=" + program("hidden-only-prog").toUtf8()
                     + "\nIcon=" + darkRed.toUtf8() + "\n");
        addEntry("link.desktop",
                 desktopEntry(program("link-type-prog"), darkRed).replace("Type=Application", "Type=Link"));
        addEntry("noicon.desktop",
                 "[Desktop Entry]\nType=Application\nExec=" + program("no-icon-prog").toUtf8() + "\n");
        addEntry("othergroup.desktop", "[Desktop Entry]\nType=Application\nExec=" + program("other-group-prog").toUtf8()
                                           + "\n[Desktop Action x]\nIcon=" + darkRed.toUtf8() + "\n");
        addEntry("missingicon.desktop", desktopEntry(program("missing-icon-prog"), picture("none")));
        // A value's escapes: "\\s" stands for the blank in the picture's name.
        addEntry("escaped.desktop",
                 desktopEntry(program("escaped-prog"),
                              picture("dark yellow").replace(QStringLiteral(" "), QStringLiteral("\\s"))));
        // An icon only the host's own theme holds.
        QVERIFY(writeFile(home("icons/lanyard-host-theme/index.theme"),
                          "[Icon Theme]\nDirectories=16x16/apps\n[16x16/apps]\nSize=16\nType=Fixed\n"));
        QVERIFY(writeIcon(home("icons/lanyard-host-theme/16x16/apps/lanyard-host-icon.png"), Qt::darkMagenta));
        addEntry("host.desktop", desktopEntry(program("host-prog"), "lanyard-host-icon"));
        // A program started through env(1): its NAME=value words come before the program; a word
        // with a folder before its "=" is a program. An Exec of env alone, or an empty one, names no
        // program.
        addEntry("env.desktop", desktopEntry("env LANG=C LANYARD_A=a=b env-prog %F", picture("yellow")));
        addEntry("envpath.desktop", desktopEntry("/usr/bin/env " + program("equals=prog"), picture("darkgray")));
        addEntry("envonly.desktop", desktopEntry("env LANYARD_A=1", darkRed));
        addEntry("emptyexec.desktop", desktopEntry("", darkRed));
        // env(1) takes a word that begins with "=" for its program, not for an assignment.
        addEntry("envodd.desktop", desktopEntry("env =odd " + program("after-odd-word"), darkRed));
        // Not an entry: the cache update-desktop-database leaves in every applications folder.
        QVERIFY(writeFile(home("applications/mimeinfo.cache"), "[MIME Cache]\ntext/plain=abs.desktop;\n"));
        addEntry("scalable.desktop", desktopEntry(program("scalable-prog"), "lanyard-test-scalable"));
        addEntry("vector.desktop", desktopEntry(program("vector-prog"), "lanyard-test-vector"));
        addEntry("both.desktop", desktopEntry(program("png-and-svg-prog"), "lanyard-test-both"));
        addEntry("unknowntheme.desktop", desktopEntry(program("unknown-theme-prog"), "lanyard-no-such-icon"));
        // Entries kept out of menus (NoDisplay) give way to one that is shown, read before or after
        // them; alone, one still names its program's icon.
        const auto menuEntry = [&](int n, bool shown, const QString &colour) {
            return desktopEntry(program(QString("menu-prog-%1").arg(n)), picture(colour))
                   + (shown ? "NoDisplay=false\n" : "NoDisplay=true\n");
        };
        addEntry("menu-1a.desktop", menuEntry(1, false, "darkred"));
        addEntry("menu-1b.desktop", menuEntry(1, true, "cyan"));
        addEntry("menu-2a.desktop", menuEntry(2, true, "cyan"));
        addEntry("menu-2b.desktop", menuEntry(2, false, "darkred"));
        addEntry("menu-3.desktop", menuEntry(3, false, "cyan"));
        addEntry("menu-4a.desktop", menuEntry(4, false, "darkred"));
        addEntry("menu-4b.desktop", desktopEntry(program("menu-prog-4"), picture("cyan"))); // shown: no NoDisplay
        // An entry in a folder of applications/, and files beside the entries that are none.
        addEntry("nested/inner.desktop", desktopEntry(program("nested-prog"), picture("magenta")));
        for (const char *other : {"README", "a.txt", "b.desktop~", "c.desktop.bak", "d.directory", "e.list"})
            QVERIFY(writeFile(home("applications/") + other, "[Desktop Entry]\nIcon=" + darkRed.toUtf8() + "\n"));
        // A value that ends in a backslash keeps it; keys before the first group are no entry's.
        addEntry("backslash.desktop", desktopEntry(program("backslash-prog"), picture("blue") + "\\"));
        addEntry("beforegroup.desktop", "Icon=" + darkRed.toUtf8() + "\n[Desktop Entry]\nType=Application\nExec="
                                            + program("before-group-prog").toUtf8() + "\n");
        addEntry("parenttheme.desktop", desktopEntry(program("parent-theme-prog"), "lanyard-test-parent"));
        addEntry("size64.desktop", desktopEntry(program("size-64-prog"), "lanyard-test-64"));
        addEntry("size65.desktop", desktopEntry(program("size-65-prog"), "lanyard-test-65"));
        // An entry is read up to a mebibyte (comments make up the size); a larger file is none.
        const auto sized = [&](const char *name, const QString &colour, qsizetype size) {
            QByteArray entry = desktopEntry(program(name), picture(colour));
            return entry + '#' + QByteArray(size - entry.size() - 2, 'x') + '\n';
        };
        addEntry("largest.desktop", sized("largest-prog", "blue", 1 << 20));
        addEntry("toolarge.desktop", sized("too-large-prog", "darkred", (1 << 20) + 1));
    }
    void cleanup() { Lanyard::mGetFileIcon::setEntryCheckInterval(500ms); }

    // First: the first look-up of all is where a theme would be set up.
    void hostThemeLeftAlone()
    {
        QIcon::setThemeName("lanyard-host-theme");
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << home("icons"));
        const QStringList searchPaths = QIcon::themeSearchPaths();
        {
            Lanyard::ExternalApps apps;
            QVERIFY(apps.AddApp("Tools", "Themed", program("theme-prog"), "", false));
            QCOMPARE(centreColour(apps.Icon(0, 0)), QColor(Qt::green));
            // The host's theme is asked first.
            QVERIFY(apps.AddApp("Tools", "Hosted", program("host-prog"), "", false));
            QCOMPARE(centreColour(apps.Icon(0, 1)), QColor(Qt::darkMagenta));
        }
        QCOMPARE(QIcon::themeName(), "lanyard-host-theme");
        QCOMPARE(QIcon::themeSearchPaths(), searchPaths);
    }

    void iconOfPath_data()
    {
        QTest::addColumn<IconRow>("row");
        const QColor script(Qt::darkCyan);
        QTest::newRow("icon-file") << IconRow{program("abs-prog"), true, Qt::red};
        QTest::newRow("theme-icon-name") << IconRow{program("theme-prog"), true, Qt::green};
        QTest::newRow("theme-icon-in-png-and-svg") << IconRow{program("png-and-svg-prog"), true, Qt::yellow};
        QTest::newRow("theme-icon-only-scalable") << IconRow{program("scalable-prog"), true, Qt::lightGray};
        QTest::newRow("program-found-on-path") << IconRow{program("path-prog"), true, Qt::blue};
        QTest::newRow("link-to-the-program") << IconRow{home("links/abs-link"), true, Qt::red};
        QTest::newRow("user-entry-hides-system-entry") << IconRow{program("shadow-prog"), true, Qt::darkGreen};
        QTest::newRow("system-entry-beside-hidden-ones") << IconRow{program("system-prog"), true, Qt::magenta};
        QTest::newRow("hidden-user-entry-hides-system-entry") << IconRow{program("hidden-prog"), true, script};
        QTest::newRow("hidden-entry") << IconRow{program("hidden-only-prog"), true, script};
        QTest::newRow("entry-of-type-link") << IconRow{program("link-type-prog"), true, script};
        QTest::newRow("entry-without-icon") << IconRow{program("no-icon-prog"), true, script};
        QTest::newRow("icon-outside-main-group") << IconRow{program("other-group-prog"), true, script};
        QTest::newRow("icon-file-missing") << IconRow{program("missing-icon-prog"), true, script};
        QTest::newRow("icon-name-not-in-theme") << IconRow{program("unknown-theme-prog"), true, script};
        QTest::newRow("no-entry") << IconRow{program("plain-script"), true, script};
        QTest::newRow("escaped-icon-path") << IconRow{program("escaped-prog"), true, Qt::darkYellow};
        QTest::newRow("program-after-env-assignments") << IconRow{program("env-prog"), true, Qt::yellow};
        QTest::newRow("program-with-equals-after-env") << IconRow{program("equals=prog"), true, Qt::darkGray};
        QTest::newRow("program-after-a-word-env-runs") << IconRow{program("after-odd-word"), true, script};
        QTest::newRow("shown-entry-after-one-kept-out-of-menus") << IconRow{program("menu-prog-1"), true, Qt::cyan};
        QTest::newRow("shown-entry-before-one-kept-out-of-menus") << IconRow{program("menu-prog-2"), true, Qt::cyan};
        QTest::newRow("entry-kept-out-of-menus-only") << IconRow{program("menu-prog-3"), true, Qt::cyan};
        QTest::newRow("compiled-program") << IconRow{program("compiled"), true, Qt::darkBlue};
        QTest::newRow("shown-entry-without-the-key") << IconRow{program("menu-prog-4"), true, Qt::cyan};
        QTest::newRow("entry-in-a-folder") << IconRow{program("nested-prog"), true, Qt::magenta};
        QTest::newRow("icon-ending-in-a-backslash") << IconRow{program("backslash-prog"), true, script};
        QTest::newRow("icon-before-the-group") << IconRow{program("before-group-prog"), true, script};
        QTest::newRow("icon-of-an-inherited-theme") << IconRow{program("parent-theme-prog"), true, Qt::darkMagenta};
        QTest::newRow("icon-at-the-largest-size-searched") << IconRow{program("size-64-prog"), true, Qt::darkGreen};
        QTest::newRow("icon-above-the-largest-size-searched") << IconRow{program("size-65-prog"), true, script};
        QTest::newRow("entry-of-a-mebibyte") << IconRow{program("largest-prog"), true, Qt::blue};
        QTest::newRow("entry-above-a-mebibyte") << IconRow{program("too-large-prog"), true, script};
        QTest::newRow("missing-file") << IconRow{program("no-such-program"), false, {}};
        QTest::newRow("folder") << IconRow{home("bin"), false, {}};
    }
    void iconOfPath()
    {
        QFETCH(IconRow, row);
        const auto &[path, found, colour] = row;
        const QIcon icon = GetFileIcon(path, smallIcon);
        QCOMPARE(!icon.isNull(), found);
        QCOMPARE(!GetFileIcon(path, largeIcon).isNull(), found);
        if (!found)
            return;
        QVERIFY(!GetFileIcon(path, largeIcon).pixmap(32, 32).isNull());
        QCOMPARE(centreColour(icon), colour);
        // The same icon each time, for both sizes, while the file stays as it is.
        QCOMPARE(GetFileIcon(path, largeIcon).cacheKey(), icon.cacheKey());
        Lanyard::mGetFileIcon::setEntryCheckInterval(0ms);
        QCOMPARE(GetFileIcon(path, smallIcon).cacheKey(), icon.cacheKey());
    }

    // A list read from its file: each entry shows its own program's icon, also where entries
    // of one program follow each other or come back later.
    void iconsOfAListRead()
    {
        const QByteArray red = QFile::encodeName(program("abs-prog")), blue = QFile::encodeName(program("path-prog"));
        const QByteArray missing = QFile::encodeName(program("no-such-program"));
        QVERIFY(writeFile(home("tools.lst"), "T,A," + red + ",,0\r\nT,B," + red + ",,0\r\nT,C," + blue + ",,0\r\nT,D,"
                                                 + missing + ",,0\r\nT,E," + red + ",,0\r\n"));
        Lanyard::ExternalApps apps;
        apps.setEXTFile(home("tools.lst"));
        QCOMPARE(apps.AppCount(0), qint16(5));
        QCOMPARE(centreColour(apps.Icon(0, 0)), QColor(Qt::red));
        QCOMPARE(centreColour(apps.Icon(0, 1)), QColor(Qt::red));
        QCOMPARE(centreColour(apps.Icon(0, 2)), QColor(Qt::blue));
        QVERIFY(apps.Icon(0, 3).isNull());
        QCOMPARE(centreColour(apps.Icon(0, 4)), QColor(Qt::red));
    }

    // The size a theme icon says it draws, which QIcon::paint centres in the space it is given:
    // a file at least as large, or a vector one, draws the size asked for; a smaller one its own.
    // A square picture stays square in a space of another shape.
    void actualSizeOfThemeIcons_data()
    {
        QTest::addColumn<QString>("programName");
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("drawn");
        QTest::newRow("larger-file-scaled-down") << "theme-prog" << QSize(8, 8) << QSize(8, 8);
        QTest::newRow("file-of-the-size") << "theme-prog" << QSize(16, 16) << QSize(16, 16);
        QTest::newRow("smaller-file-kept-at-its-size") << "theme-prog" << QSize(32, 32) << QSize(16, 16);
        QTest::newRow("vector-file-at-any-size") << "vector-prog" << QSize(256, 256) << QSize(256, 256);
        QTest::newRow("wide-space") << "theme-prog" << QSize(16, 8) << QSize(8, 8);
        QTest::newRow("tall-space-for-a-vector-file") << "vector-prog" << QSize(20, 40) << QSize(20, 20);
    }
    void actualSizeOfThemeIcons()
    {
        QFETCH(QString, programName);
        QFETCH(QSize, asked);
        QFETCH(QSize, drawn);
        const QIcon icon = GetFileIcon(program(programName), smallIcon);
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.actualSize(asked), drawn);
        QCOMPARE(icon.pixmap(asked).deviceIndependentSize().toSize(), drawn);
    }

    // Each look-up looks at the file; desktop entries are looked at again after an interval.
    void changesAreNoticed()
    {
        const QString path = program("comes-and-goes");
        QVERIFY(GetFileIcon(path, smallIcon).isNull());
        addProgram("comes-and-goes");
        QVERIFY(!GetFileIcon(path, smallIcon).isNull());
        QCOMPARE_NE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::red));
        addEntry("late.desktop", desktopEntry(path, picture("red")));
        QTRY_COMPARE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::red));
        // An entry edited in place, its folder left as it was.
        QFile entry(home("applications/late.desktop"));
        QVERIFY(entry.open(QIODevice::ReadWrite));
        const QByteArray edited = entry.readAll().replace("red", "cyan");
        QVERIFY(entry.seek(0) && entry.write(edited) == edited.size());
        entry.close();
        QTRY_COMPARE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::cyan));
        QVERIFY(QFile::remove(path));
        QVERIFY(GetFileIcon(path, smallIcon).isNull());
    }

    // A data folder the host adds while it runs (XDG_DATA_DIRS) is looked in at the next check.
    void dataFolderAddedWhileRunning()
    {
        QTemporaryDir added;
        const QString path = program("late-data-prog");
        addProgram("late-data-prog");
        addEntry("latedata.desktop", desktopEntry(path, picture("red")), added.path());
        Lanyard::mGetFileIcon::setEntryCheckInterval(0ms);
        QCOMPARE(centreColour(GetFileIcon(path, smallIcon)), QColor(Qt::darkCyan));
        const QByteArray before = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", added.path().toUtf8() + ':' + before);
        const QColor seen = centreColour(GetFileIcon(path, smallIcon));
        qputenv("XDG_DATA_DIRS", before);
        QCOMPARE(seen, QColor(Qt::red));
    }

    // A host with no application object at all (a QCoreApplication: the command-line host) gets
    // null icons, and no abort.
    void hostWithoutAnApplicationObject()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--no-application", program("abs-prog")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.readAllStandardOutput(), "added, null icon\n");
    }

    // A theme whose icon-theme.cache names "cached" (after another name in its hash chain) while
    // its folder holds "looked-up" only: a cache not older than its folders is trusted, an older
    // one is not used, nor is one that lists more folders than it can hold. A name it lacks is looked
    // for no longer than the file could hold a chain, also when a broken chain loops back.
    void themeCacheOrFolders_data()
    {
        // folderAge: the folders' time against the cache's, in seconds; 0 is the same time,
        // as when the cache was written in the second its folders last changed.
        QTest::addColumn<int>("folderAge");
        QTest::addColumn<quint32>("folderCount");
        QTest::addColumn<bool>("chainLoops");
        // movedToTheEnd: a part of the cache written again as its last bytes, and used from there.
        QTest::addColumn<QString>("movedToTheEnd");
        QTest::newRow("fresh-cache-is-used") << -60 << 1u << false << "";
        QTest::newRow("cache-as-new-as-its-folders-is-used") << 0 << 1u << false << "";
        QTest::newRow("cache-older-than-its-folder-is-not") << 60 << 1u << false << "";
        QTest::newRow("cache-listing-too-many-folders-is-not") << -60 << 0x40000000u << false << "";
        QTest::newRow("hash-chain-looping-back-ends") << -60 << 1u << true << "";
        QTest::newRow("hash-table-in-the-last-bytes") << -60 << 1u << false << "hash-table";
        QTest::newRow("image-list-in-the-last-bytes") << -60 << 1u << false << "image-list";
    }
    void themeCacheOrFolders()
    {
        QFETCH(int, folderAge);
        QFETCH(quint32, folderCount);
        QFETCH(bool, chainLoops);
        QFETCH(QString, movedToTheEnd);
        const QString root = m_system.filePath("icons/hicolor");
        QDir(root).removeRecursively();
        QVERIFY(
            writeFile(root + "/index.theme",
                      "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps\n\n[16x16/apps]\nSize=16\nType=Threshold\n"));
        QVERIFY(writeIcon(root + "/16x16/apps/looked-up.png", Qt::green));
        QByteArray cache = cacheOf({"other", "cached"}, chainLoops);
        const quint32 count = qToBigEndian(folderCount);
        cache.replace(12, 4, reinterpret_cast<const char *>(&count), 4); // the folder list's length
        const auto putWord = [&cache](qsizetype at, quint32 value, int size = 4) {
            const quint32 big = qToBigEndian(value);
            cache.replace(at, size, reinterpret_cast<const char *>(&big) + 4 - size, size);
        };
        const qsizetype end = cache.size();
        if (movedToTheEnd == "hash-table") {
            putWord(end, 1), putWord(end + 4, 40); // one bucket, the chain at 40 as before
            putWord(4, quint32(end));
        } else if (movedToTheEnd == "image-list") {
            putWord(end, 1), putWord(end + 4, 0, 2), putWord(end + 6, 4, 2); // one PNG in folder 0
            putWord(80 + 8, quint32(end));                                   // "cached", the second icon: at 40 + 40
        }
        QVERIFY(writeFile(root + "/icon-theme.cache", cache));
        struct stat cacheTime = {};
        QVERIFY(::stat(QFile::encodeName(root + "/icon-theme.cache").constData(), &cacheTime) == 0);
        for (const QString &folder : {root, root + "/16x16/apps"})
            QVERIFY(setModified(folder, cacheTime.st_mtim, folderAge));
        const bool cacheUsed = folderAge <= 0 && folderCount == 1;
        Lanyard::IconTheme theme;
        QCOMPARE(theme.icon("cached").isNull(), !cacheUsed);
        QCOMPARE(theme.icon("looked-up").isNull(), cacheUsed);
        QVERIFY(theme.icon("nowhere").isNull());
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--no-application") == 0) {
        Lanyard::ExternalApps apps;
        const bool added = apps.AddApp("Tools", "App", QString::fromLocal8Bit(argv[2]), "", false);
        std::printf("%s, %s icon\n", added ? "added" : "refused", apps.Icon(0, 0).isNull() ? "null" : "an");
        return 0;
    }
    QApplication app(argc, argv);
    tst_Icons test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_icons.moc"

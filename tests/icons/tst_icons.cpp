// SPDX-License-Identifier: MIT
// A program's icon: from the desktop entry that starts it, through the icon theme, else its file type's.
#include "common/Files.h"
#include "icons/IconTheme.h"
#include "icons/mGetFileIcon.h"

#include <Lanyard/ExternalApps.h>

#include <QtGui>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Lanyard::mGetFileIcon::GetFileIcon;

namespace {

/// "tag|program|colour it shows ("": its file type's)|entry|text|...": an entry is NAME.desktop ("s:":
/// the system's), its text "Exec=%P\nIcon=" and itself unless it has an Exec= ("!": as it is);
/// %P the program's path, %N its name, @NAME a picture of that colour, #N the size of the file.
const QStringList programs{
    "icon-file|abs-prog|red|abs|Exec=%P %F\nIcon=@red",
    "theme-icon-name|theme-prog|green|theme|lanyard-test-green",
    "theme-icon-in-png-and-svg|png-and-svg-prog|yellow|both|lanyard-test-both",
    "theme-icon-only-scalable|scalable-prog|lightgray|scalable|lanyard-test-scalable",
    "program-found-on-path|path-prog|blue|path|Exec=%N --flag\nIcon=@blue",
    "link-to-the-program|../links/abs-link|red",
    "user-entry-hides-system-entry|shadow-prog|darkgreen|s:shadow|@gray|shadow|@darkgreen",
    "system-entry-beside-hidden-ones|system-prog|magenta|s:system|@magenta",
    "hidden-user-entry-hides-system-entry|hidden-prog||s:hidden|@darkred|hidden|!Hidden=true",
    "hidden-entry|hidden-only-prog||hiddenonly|@darkred\nHidden=true",
    "entry-of-type-link|link-type-prog||link|![Desktop Entry]\nType=Link\nExec=%P\nIcon=@darkred",
    "entry-without-icon|no-icon-prog||noicon|Exec=%P",
    "icon-outside-main-group|other-group-prog||og|Exec=%P\n[Desktop Action x]\nIcon=@darkred",
    "icon-file-missing|missing-icon-prog||missing|@none",
    "icon-name-not-in-theme|unknown-theme-prog||unknown|lanyard-no-such-icon",
    "no-entry|plain-script|",
    "escaped-icon-path|escaped-prog|lightblue|escaped|@light\\sblue",
    "program-after-env-assignments|env-prog|yellow|env|Exec=env LANG=C A=a=b %N %F\nIcon=@yellow",
    "program-with-equals-after-env|equals=prog|darkgray|envpath|Exec=/usr/bin/env %P\nIcon=@darkgray",
    "program-after-a-word-env-runs|after-odd-word||envodd|Exec=env =odd %P\nIcon=@darkred|envonly|Exec=env "
    "A=1\nIcon=@darkred|empty|Exec=\nIcon=@red",
    "shown-entry-after-one-kept-out-of-menus|menu-1|cyan|m1a|@darkred\nNoDisplay=true|m1b|@cyan\nNoDisplay=false",
    "shown-entry-before-one-kept-out-of-menus|menu-2|cyan|m2a|@cyan\nNoDisplay=false|m2b|@darkred\nNoDisplay=true",
    "entry-kept-out-of-menus-only|menu-prog-3|cyan|menu-3|@cyan\nNoDisplay=true",
    "shown-entry-without-the-key|menu-prog-4|cyan|menu-4a|@darkred\nNoDisplay=true|menu-4b|@cyan",
    "compiled-program|compiled|darkblue",
    "entry-in-a-folder|nested-prog|magenta|nested/inner|@magenta",
    "icon-ending-in-a-backslash|backslash-prog||backslash|@blue\\",
    "icon-before-the-group|before-group-prog||before|!Icon=@darkred\n[Desktop Entry]\nType=Application\nExec=%P",
    "icon-of-an-inherited-theme|parent-prog|purple|parent|lanyard-test-parent",
    "icon-at-the-largest-size-searched|size-64-prog|darkgreen|s64|lanyard-test-64",
    "icon-above-the-largest-size-searched|size-65-prog||s65|lanyard-test-65",
    "entry-of-a-mebibyte|largest-prog|blue|largest|@blue\n#1048576",
    "entry-above-a-mebibyte|too-large-prog||toolarge|@darkred\n#1048577",
    "missing-file|no-such-program|none",
    "folder|.|none",
    "vector-icon|vector-prog|orange|vector|lanyard-test-vector",
};

QColor centreColour(const QIcon &icon) { return icon.pixmap(16, 16).toImage().pixelColor(8, 8); }

bool write(const QString &path, const QByteArray &contents)
{
    return QDir().mkpath(QFileInfo(path).path()) && TestFiles::write(path, contents);
}

bool writeIcon(const QString &path, QColor colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    QBuffer png;
    return image.save(&png, "PNG") && write(path, png.data());
}

} // namespace

class tst_Icons : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_system;

    QString home(const QString &relative) const { return m_home.filePath(relative); }
    QString program(const QString &name) const { return home("bin/" + name); }
    QString picture(const QString &name) const { return home("pictures/" + name + ".png"); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_system.path().toUtf8() + ":/usr/share");
        qputenv("PATH", program("").toUtf8() + ':' + qgetenv("PATH"));
        for (const char *name :
             {"red", "blue", "yellow", "cyan", "magenta", "gray", "darkgreen", "darkred", "darkgray", "light blue"})
            QVERIFY(writeIcon(picture(name), QColor(QString(name).remove(u' '))));
        // Adwaita (of file types) inherits a theme before hicolor, whose red copy must lose.
        for (const QString icon :
             {"hicolor/16x16/apps/lanyard-test-green=green", "hicolor/16x16/apps/lanyard-test-both=yellow",
              "hicolor/scalable/apps/lanyard-test-scalable=lightgray", "hicolor/16x16/apps/lanyard-test-parent=red",
              "Adwaita/test/application-x-executable=darkblue", "Adwaita/test/application-x-shellscript=darkcyan",
              "lanyard-parent/16x16/apps/lanyard-test-parent=purple",
              "lanyard-parent/64x64/apps/lanyard-test-64=darkgreen",
              "lanyard-parent/65x65/apps/lanyard-test-65=darkred",
              "lanyard-host-theme/16x16/apps/lanyard-host-icon=purple"})
            QVERIFY(writeIcon(home("icons/" + icon.section(u'=', 0, 0) + ".png"), QColor(icon.section(u'=', 1))));
        const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\"><rect "
                               "width=\"16\" height=\"16\" fill=\"blue\"/></svg>";
        QVERIFY(write(home("icons/hicolor/16x16/apps/lanyard-test-both.svg"), svg));
        QVERIFY(write(home("icons/hicolor/scalable/apps/lanyard-test-vector.svg"),
                      QByteArray(svg).replace("16", "128").replace("blue", "orange")));
        QVERIFY(
            write(home("icons/Adwaita/index.theme"),
                  "\n[Icon Theme]\nInherits=lanyard-parent,hicolor\nDirectories=test\n[test]\nSize=16\nType=Fixed\n"));
        QVERIFY(write(home("icons/lanyard-parent/index.theme"),
                      "[Icon Theme]\nDirectories=16x16/apps,64x64/apps,65x65/apps\n[16x16/apps]\nSize=16\nType=Fixed\n"
                      "[64x64/apps]\nSize=64\nType=Fixed\n[65x65/apps]\nSize=65\nType=Fixed\n"));
        QVERIFY(write(home("icons/lanyard-host-theme/index.theme"),
                      "[Icon Theme]\nDirectories=16x16/apps\n[16x16/apps]\nSize=16\nType=Fixed\n"));
        QVERIFY(QDir().mkpath(program("")) && QFile::copy("/bin/true", program("compiled")));
        QVERIFY(QDir().mkpath(home("links")) && QFile::link(program("abs-prog"), home("links/abs-link")));
        for (const char *other : {"README", "a.txt", "b.desktop~", "c.desktop.bak", "d.directory", "e.list"})
            QVERIFY(write(home("applications/") + other, "[Desktop Entry]\nIcon=" + picture("darkred").toUtf8()));
        QVERIFY(write(home("applications/mimeinfo.cache"), "[MIME Cache]\ntext/plain=abs.desktop;\n"));

        for (const QString &row : programs + QStringList{"|host-prog||host|lanyard-host-icon"}) {
            const QStringList p = row.split(u'|');
            if (p[2] != "none" && !QFile::exists(program(p[1])))
                QVERIFY(write(program(p[1]), "#!/bin/sh\nexit 0\n")
                        && QFile::setPermissions(program(p[1]), QFile::ReadOwner | QFile::ExeOwner));
            for (qsizetype i = 3; i + 1 < p.size(); i += 2) {
                QString text = p[i + 1];
                text = text.startsWith(u'!') ? text.mid(1) + u'\n'
                                             : "[Desktop Entry]\nType=Application\n"
                                                   + (text.contains("Exec=") ? text : "Exec=%P\nIcon=" + text) + u'\n';
                text.replace("%P", program(p[1])).replace("%N", p[1]);
                text.replace(QRegularExpression("@((?:\\w|\\\\s)+)"), home("pictures/\\1.png"));
                QByteArray bytes = text.toUtf8();
                if (const qsizetype at = bytes.lastIndexOf('#'), size = text.section(u'#', -1).trimmed().toInt();
                    size > 0)
                    bytes = bytes.left(at + 1) + QByteArray(size - at - 2, 'x') + '\n';
                const QString file = p[i].startsWith("s:") ? m_system.filePath("applications/" + p[i].mid(2))
                                                           : home("applications/" + p[i]);
                QVERIFY(write(file + ".desktop", bytes));
            }
        }
    }
    void cleanup() { Lanyard::mGetFileIcon::setEntryCheckInterval(500ms); }

    // First (where a theme would be set up): the host's theme asked first, left as it was; each
    // entry of a list read shows its program's icon, also as a URL of PNG data of the size asked.
    void iconsOfAListRead()
    {
        QIcon::setThemeName("lanyard-host-theme");
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << home("icons"));
        const QStringList searchPaths = QIcon::themeSearchPaths();
        QByteArray list;
        for (const char *name : {"theme-prog", "theme-prog", "host-prog", "no-such-program", "theme-prog"})
            list += "T,A" + QByteArray::number(list.size()) + ',' + QFile::encodeName(program(name)) + ",,0\r\n";
        QVERIFY(write(home("tools.lst"), list));
        {
            Lanyard::ExternalApps apps;
            apps.setEXTFile(home("tools.lst"));
            QStringList colours;
            for (qint16 i = 0; i < apps.AppCount(0); ++i)
                colours << (apps.Icon(0, i).isNull() ? "none" : centreColour(apps.Icon(0, i)).name());
            QCOMPARE(colours, (QStringList{"#008000", "#008000", "#800080", "none", "#008000"}));
            const QString url = apps.iconUrl("T", 0), prefix = "data:image/png;base64,";
            const auto shown = [&](const QString &url) {
                return QImage::fromData(QByteArray::fromBase64(url.mid(prefix.size()).toLatin1()), "PNG");
            };
            QVERIFY(url.startsWith(prefix));
            QCOMPARE(shown(url).size(), QSize(16, 16));
            QCOMPARE(shown(url).pixelColor(8, 8), QColor("green"));
            QCOMPARE(shown(apps.iconUrl("T", 0, 1)).size(), QSize(1, 1));
            QCOMPARE(apps.iconUrl("T", 3) + apps.iconUrl("T", 0, 0) + apps.iconUrl("T", 0, -16), QString());
            QCOMPARE(apps.invoke("iconUrl", "call", {"T", 0}).value("value").toString(), url);
        }
        QCOMPARE(QIcon::themeName(), "lanyard-host-theme");
        QCOMPARE(QIcon::themeSearchPaths(), searchPaths);
    }

    void iconOfPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("colour");
        for (const QString &p : programs)
            QTest::newRow(qPrintable(p.section(u'|', 0, 0))) << p.section(u'|', 1, 1) << p.section(u'|', 2, 2);
    }
    // The same icon each time while the file stays; it draws (QIcon::paint centres) no larger than it is.
    void iconOfPath()
    {
        QFETCH(QString, name);
        QFETCH(QString, colour);
        const QIcon icon = GetFileIcon(program(name), 1);
        QCOMPARE(icon.isNull(), colour == "none");
        QCOMPARE(GetFileIcon(program(name), 2).pixmap(32, 32).isNull(), colour == "none");
        if (colour == "none")
            return;
        QCOMPARE(centreColour(icon), QColor(colour.isEmpty() ? "darkcyan" : colour));
        const int large = name == "vector-prog" ? 40 : 16;
        for (const auto &[asked, drawn] : {std::pair{QSize(40, 40), QSize(large, large)},
                                           {QSize(8, 8), QSize(8, 8)},
                                           {QSize(16, 8), QSize(8, 8)},
                                           {QSize(20, 40), QSize(qMin(20, large), qMin(20, large))}}) {
            if (name.contains("svg"))
                break; // PNG and SVG of one size: not asked
            QCOMPARE(icon.actualSize(asked), drawn);
            QCOMPARE(icon.pixmap(asked).deviceIndependentSize().toSize(), drawn);
        }
        QCOMPARE(GetFileIcon(program(name), 2).cacheKey(), icon.cacheKey());
        Lanyard::mGetFileIcon::setEntryCheckInterval(0ms);
        QCOMPARE(GetFileIcon(program(name), 1).cacheKey(), icon.cacheKey());
        if (QFile entry(home("applications/vector.desktop")); name == "vector-prog") { // an entry edited in place
            const QByteArray edited = (entry.open(QIODevice::ReadWrite), entry.readAll().replace("-vector", "-green"));
            QVERIFY(entry.resize(0) && entry.seek(0) && entry.write(edited) == edited.size());
            QCOMPARE((entry.close(), centreColour(GetFileIcon(program(name), 1))), QColor("green"));
        }
    }

    // A cache naming "cached" while the folder holds "looked-up": used unless older than its
    // folders or broken; a broken chain that loops back ends.
    void themeCacheOrFolders_data()
    {
        QTest::addColumn<int>("folderAge");
        QTest::addColumn<quint32>("folderCount");
        QTest::addColumn<bool>("loops");
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
        QFETCH(bool, loops);
        QFETCH(QString, movedToTheEnd);
        const QString root = m_system.filePath("icons/hicolor");
        QDir(root).removeRecursively();
        QVERIFY(write(root + "/index.theme",
                      "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps\n\n[16x16/apps]\nSize=16\nType=Threshold\n"));
        QVERIFY(writeIcon(root + "/16x16/apps/looked-up.png", Qt::green));
        // One folder, one bucket: "other", then "cached", each with an image in an unlisted folder first.
        QByteArray cache;
        const auto putWord = [&cache](qsizetype at, quint32 value, int size = 4) {
            const quint32 big = qToBigEndian(value);
            cache.replace(at, size, reinterpret_cast<const char *>(&big) + 4 - size, size);
        };
        const auto add = [&](quint32 value, int size = 4) { putWord(cache.size(), value, size); };
        add(1, 2), add(0, 2), add(32), add(12), add(folderCount), add(20); // version, hash table, folders
        cache += "16x16/apps";
        cache.resize(32, '\0');
        add(1), add(40);
        for (const QByteArray name : {"other", "cached"}) { // next, name, images; folder, next image, PNG
            const quint32 at = quint32(cache.size()), size = 32 + quint32(name.size() + 4) / 4 * 4;
            add(name == "other" ? at + size : loops ? 40 : 0xFFFFFFFFu), add(at + 32), add(at + 12);
            add(2), add(1, 2), add(4, 2), add(0), add(0, 2), add(4, 2), add(0);
            cache += name;
            cache.resize(at + size, '\0');
        }
        const qsizetype end = cache.size();
        if (movedToTheEnd == "hash-table")
            putWord(end, 1), putWord(end + 4, 40), putWord(4, quint32(end)); // one bucket, the chain at 40
        else if (movedToTheEnd == "image-list") // one PNG in folder 0, for "cached" (the icon at 80)
            putWord(end, 1), putWord(end + 4, 0, 2), putWord(end + 6, 4, 2), putWord(80 + 8, quint32(end));
        QVERIFY(write(root + "/icon-theme.cache", cache));
        struct stat cached = {};
        QVERIFY(::stat(QFile::encodeName(root + "/icon-theme.cache").constData(), &cached) == 0);
        for (const QString &folder : {root, root + "/16x16/apps"}) {
            timespec times[2] = {{0, UTIME_OMIT}, cached.st_mtim};
            times[1].tv_sec += folderAge;
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0) == 0);
        }
        const bool used = folderAge <= 0 && folderCount == 1;
        Lanyard::IconTheme theme;
        QCOMPARE(theme.icon("cached").isNull(), !used);
        QCOMPARE(theme.icon("looked-up").isNull(), used);
        QVERIFY(theme.icon("nowhere").isNull());
    }
};

QTEST_MAIN(tst_Icons)
#include "tst_icons.moc"

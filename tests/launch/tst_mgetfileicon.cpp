#include "launch/mGetFileIcon.h"

#include <Lanyard/ExternalApps.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Lanyard::mGetFileIcon::GetFileIcon;

namespace {

constexpr qint32 smallIcon = 1;
constexpr qint32 largeIcon = 2;

QColor centreColour(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}

bool writeFile(const QString &path, const QByteArray &contents, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

bool writeIcon(const QString &path, const QColor &colour)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

QByteArray desktopEntry(const QString &exec, const QString &icon, const QByteArray &extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=Test\nExec=" + exec.toUtf8() + "\nIcon=" + icon.toUtf8()
           + "\n" + extra;
}

} // namespace

class TstMGetFileIcon : public QObject
{
    Q_OBJECT

private:
    QString home(const QString &relative) const { return m_home.filePath(relative); }
    QString program(const QString &name) const { return home(u"bin/"_s + name); }
    void addProgram(const QString &name) { QVERIFY(writeFile(program(name), "#!/bin/sh\nexit 0\n", true)); }
    void addEntry(const QString &dataDir, const QString &id, const QByteArray &contents)
    {
        QVERIFY(writeFile(dataDir + u"/applications/"_s + id, contents));
    }

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void desktopEntryIcon_data();
    void desktopEntryIcon();
    void entryGivingNoIconFallsBackToMimeIcon_data();
    void entryGivingNoIconFallsBackToMimeIcon();
    void mimeIcon_data();
    void mimeIcon();
    void nullIcon_data();
    void nullIcon();
    void themeResolvesOffscreen();
    void sameIconForSamePath_data();
    void sameIconForSamePath();
    void fileAppearingAndDisappearingIsNoticed();
    void desktopEntryAddedLaterIsNoticed();
    void iconOfAddedApp_data();
    void iconOfAddedApp();
    void editWithPathOmittedTakesIconAgain();
    void iconOfSlotBeyondCount_data();
    void iconOfSlotBeyondCount();

private:
    QTemporaryDir m_home;
    QTemporaryDir m_system;
};

// Everything the desktop entry scan and the icon theme see must exist before the first lookup.
void TstMGetFileIcon::initTestCase()
{
    QVERIFY(m_home.isValid() && m_system.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    const QByteArray systemDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", m_system.path().toUtf8() + ':' + (systemDirs.isEmpty() ? "/usr/local/share:/usr/share" : systemDirs));
    qputenv("PATH", program(QString()).toUtf8() + ':' + qgetenv("PATH"));

    for (const char *name : {"abs-prog", "theme-prog", "suffix-prog", "path-prog", "spaced prog", "env-prog",
                             "sub-prog", "shadow-prog", "hidden-prog", "link-type-prog", "no-icon-prog",
                             "other-group-prog", "missing-icon-prog", "unknown-theme-prog", "plain-script"})
        addProgram(QString::fromUtf8(name));
    QVERIFY(QDir().mkpath(home(u"links"_s)));
    QVERIFY(QFile::link(program(u"abs-prog"_s), home(u"links/abs-link"_s)));
    QVERIFY(writeFile(home(u"notes.txt"_s), "some text\n"));

    QVERIFY(writeIcon(home(u"icons/hicolor/16x16/apps/lanyard-test-green.png"_s), Qt::green));
    const std::pair<const char *, Qt::GlobalColor> pictures[] = {
        {"red", Qt::red}, {"blue", Qt::blue}, {"yellow", Qt::yellow}, {"cyan", Qt::cyan}, {"magenta", Qt::magenta},
        {"gray", Qt::gray}, {"darkgreen", Qt::darkGreen}, {"darkred", Qt::darkRed}};
    for (const auto &[file, colour] : pictures)
        QVERIFY(writeIcon(home(u"pictures/%1.png"_s.arg(QString::fromUtf8(file))), colour));
    const auto picture = [this](const char *name) { return home(u"pictures/%1.png"_s.arg(QString::fromUtf8(name))); };

    addEntry(m_home.path(), u"abs.desktop"_s, desktopEntry(program(u"abs-prog"_s) + u" %F"_s, picture("red")));
    addEntry(m_home.path(), u"theme.desktop"_s, desktopEntry(program(u"theme-prog"_s), u"lanyard-test-green"_s));
    addEntry(m_home.path(), u"suffix.desktop"_s, desktopEntry(program(u"suffix-prog"_s), u"lanyard-test-green.png"_s));
    addEntry(m_home.path(), u"path.desktop"_s, desktopEntry(u"path-prog --flag"_s, picture("blue")));
    addEntry(m_home.path(), u"spaced.desktop"_s, desktopEntry(u"\"%1\" %u"_s.arg(program(u"spaced prog"_s)), picture("yellow")));
    addEntry(m_home.path(), u"env.desktop"_s, desktopEntry(u"env LANG=C %1"_s.arg(program(u"env-prog"_s)), picture("cyan")));
    addEntry(m_home.path(), u"vendor/sub.desktop"_s, desktopEntry(program(u"sub-prog"_s), picture("magenta")));
    addEntry(m_system.path(), u"shadow.desktop"_s, desktopEntry(program(u"shadow-prog"_s), picture("gray")));
    addEntry(m_home.path(), u"shadow.desktop"_s, desktopEntry(program(u"shadow-prog"_s), picture("darkgreen")));
    addEntry(m_system.path(), u"hidden.desktop"_s, desktopEntry(program(u"hidden-prog"_s), picture("darkred")));
    addEntry(m_home.path(), u"hidden.desktop"_s, "[Desktop Entry]\nHidden=true\n");
    addEntry(m_home.path(), u"link.desktop"_s,
             desktopEntry(program(u"link-type-prog"_s), picture("darkred")).replace("Type=Application", "Type=Link"));
    addEntry(m_home.path(), u"noicon.desktop"_s, "[Desktop Entry]\nType=Application\nExec=" + program(u"no-icon-prog"_s).toUtf8() + "\n");
    addEntry(m_home.path(), u"othergroup.desktop"_s,
             "[Desktop Entry]\nType=Application\nExec=" + program(u"other-group-prog"_s).toUtf8()
                 + "\n[Desktop Action x]\nIcon=" + picture("darkred").toUtf8() + "\n");
    addEntry(m_home.path(), u"missingicon.desktop"_s, desktopEntry(program(u"missing-icon-prog"_s), home(u"pictures/none.png"_s)));
    addEntry(m_home.path(), u"unknowntheme.desktop"_s, desktopEntry(program(u"unknown-theme-prog"_s), u"lanyard-no-such-icon"_s));
}

void TstMGetFileIcon::cleanup() { Lanyard::mGetFileIcon::setCacheLifetime(2000ms); }

void TstMGetFileIcon::desktopEntryIcon_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("absolute-icon-file") << program(u"abs-prog"_s) << QColor(Qt::red);
    QTest::newRow("theme-icon-name") << program(u"theme-prog"_s) << QColor(Qt::green);
    QTest::newRow("theme-name-with-image-suffix") << program(u"suffix-prog"_s) << QColor(Qt::green);
    QTest::newRow("program-found-on-path") << program(u"path-prog"_s) << QColor(Qt::blue);
    QTest::newRow("symlink-to-program") << home(u"links/abs-link"_s) << QColor(Qt::red);
    QTest::newRow("quoted-exec-with-space") << program(u"spaced prog"_s) << QColor(Qt::yellow);
    QTest::newRow("env-prefix") << program(u"env-prog"_s) << QColor(Qt::cyan);
    QTest::newRow("entry-in-subfolder") << program(u"sub-prog"_s) << QColor(Qt::magenta);
    QTest::newRow("user-entry-hides-system-entry") << program(u"shadow-prog"_s) << QColor(Qt::darkGreen);
}

void TstMGetFileIcon::desktopEntryIcon()
{
    QFETCH(QString, path);
    QFETCH(QColor, colour);
    const QIcon icon = GetFileIcon(path, smallIcon);
    QVERIFY(!icon.isNull());
    QCOMPARE(centreColour(icon), colour);
}

void TstMGetFileIcon::entryGivingNoIconFallsBackToMimeIcon_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("hidden-user-entry-hides-system-entry") << program(u"hidden-prog"_s);
    QTest::newRow("entry-of-type-link") << program(u"link-type-prog"_s);
    QTest::newRow("entry-without-icon") << program(u"no-icon-prog"_s);
    QTest::newRow("icon-outside-main-group") << program(u"other-group-prog"_s);
    QTest::newRow("icon-file-missing") << program(u"missing-icon-prog"_s);
    QTest::newRow("icon-name-not-in-theme") << program(u"unknown-theme-prog"_s);
}

void TstMGetFileIcon::entryGivingNoIconFallsBackToMimeIcon()
{
    QFETCH(QString, path);
    const QIcon icon = GetFileIcon(path, smallIcon);
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(16, 16).isNull());
    QCOMPARE_NE(centreColour(icon), QColor(Qt::darkRed));
    QCOMPARE(icon.cacheKey(), GetFileIcon(program(u"plain-script"_s), smallIcon).cacheKey());
}

void TstMGetFileIcon::mimeIcon_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("script-without-entry") << program(u"plain-script"_s);
    QTest::newRow("system-shell") << u"/bin/sh"_s;
    QTest::newRow("text-file") << home(u"notes.txt"_s);
}

void TstMGetFileIcon::mimeIcon()
{
    QFETCH(QString, path);
    const QIcon icon = GetFileIcon(path, smallIcon);
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.availableSizes().isEmpty());
    QVERIFY(!icon.pixmap(16, 16).isNull());
    QVERIFY(!GetFileIcon(path, largeIcon).pixmap(32, 32).isNull());
}

void TstMGetFileIcon::nullIcon_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing-file") << home(u"bin/no-such-program"_s);
    QTest::newRow("directory") << home(u"bin"_s);
    QTest::newRow("empty-path") << QString();
    QTest::newRow("device-file") << u"/dev/null"_s;
}

void TstMGetFileIcon::nullIcon()
{
    QFETCH(QString, path);
    QVERIFY(GetFileIcon(path, smallIcon).isNull());
    QVERIFY(GetFileIcon(path, largeIcon).isNull());
}

void TstMGetFileIcon::themeResolvesOffscreen()
{
    GetFileIcon(u"/bin/sh"_s, smallIcon);
    QVERIFY(!QIcon::themeName().isEmpty());
    const QIcon executable = QIcon::fromTheme(u"application-x-executable"_s);
    QVERIFY(!executable.isNull());
    QVERIFY(!executable.availableSizes().isEmpty());
}

void TstMGetFileIcon::sameIconForSamePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("desktop-entry-icon-file") << program(u"abs-prog"_s);
    QTest::newRow("mime-icon") << u"/bin/sh"_s;
}

void TstMGetFileIcon::sameIconForSamePath()
{
    QFETCH(QString, path);
    const qint64 key = GetFileIcon(path, smallIcon).cacheKey();
    QCOMPARE(GetFileIcon(path, smallIcon).cacheKey(), key);
    QCOMPARE(GetFileIcon(path, largeIcon).cacheKey(), key);
    // Past the cache lifetime an unchanged file keeps its icon.
    Lanyard::mGetFileIcon::setCacheLifetime(0ms);
    QCOMPARE(GetFileIcon(path, smallIcon).cacheKey(), key);
}

void TstMGetFileIcon::fileAppearingAndDisappearingIsNoticed()
{
    Lanyard::mGetFileIcon::setCacheLifetime(50ms);
    const QString path = program(u"comes-and-goes"_s);
    QVERIFY(GetFileIcon(path, smallIcon).isNull());
    addProgram(u"comes-and-goes"_s);
    QTRY_VERIFY(!GetFileIcon(path, smallIcon).isNull());
    QVERIFY(QFile::remove(path));
    QTRY_VERIFY(GetFileIcon(path, smallIcon).isNull());
}

void TstMGetFileIcon::desktopEntryAddedLaterIsNoticed()
{
    Lanyard::mGetFileIcon::setCacheLifetime(50ms);
    addProgram(u"late-prog"_s);
    QCOMPARE_NE(centreColour(GetFileIcon(program(u"late-prog"_s), smallIcon)), QColor(Qt::red));
    addEntry(m_home.path(), u"late.desktop"_s, desktopEntry(program(u"late-prog"_s), home(u"pictures/red.png"_s)));
    QTRY_COMPARE(centreColour(GetFileIcon(program(u"late-prog"_s), smallIcon)), QColor(Qt::red));
}

void TstMGetFileIcon::iconOfAddedApp_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("hasIcon");
    QTest::newRow("existing-program") << program(u"abs-prog"_s) << true;
    QTest::newRow("missing-program") << home(u"bin/not-there"_s) << false;
}

void TstMGetFileIcon::iconOfAddedApp()
{
    QFETCH(QString, path);
    QFETCH(bool, hasIcon);
    Lanyard::ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Editor"_s, path, QString(), false));
    const QIcon icon = apps.Icon(u"Tools"_s, 0);
    QCOMPARE(!icon.isNull(), hasIcon);
    QCOMPARE(apps.Icon(u"Tools"_s, 0).cacheKey(), icon.cacheKey());
    QCOMPARE(apps.Icon(0, 0).cacheKey(), icon.cacheKey());
}

void TstMGetFileIcon::editWithPathOmittedTakesIconAgain()
{
    Lanyard::mGetFileIcon::setCacheLifetime(0ms);
    const QString path = program(u"installed-later"_s);
    Lanyard::ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"Editor"_s, path, QString(), false));
    QVERIFY(apps.Icon(0, 0).isNull());
    addProgram(u"installed-later"_s);
    apps.EditApp(u"Tools"_s, u"Editor"_s, u"Tools"_s, u"Editor"_s, false);
    QCOMPARE(apps.AppPath(0, 0), path);
    QVERIFY(!apps.Icon(0, 0).isNull());
}

void TstMGetFileIcon::iconOfSlotBeyondCount_data()
{
    QTest::addColumn<bool>("deleteFirst");
    QTest::addColumn<qint16>("slot");
    QTest::newRow("slot-never-used") << false << qint16(4);
    QTest::newRow("slot-reset-by-delete") << true << qint16(1);
}

void TstMGetFileIcon::iconOfSlotBeyondCount()
{
    QFETCH(bool, deleteFirst);
    QFETCH(qint16, slot);
    Lanyard::ExternalApps apps;
    QVERIFY(apps.AddApp(u"Tools"_s, u"First"_s, program(u"abs-prog"_s), QString(), false));
    QVERIFY(apps.AddApp(u"Tools"_s, u"Second"_s, program(u"theme-prog"_s), QString(), false));
    if (deleteFirst)
        apps.DeleteApp(0, 0);
    QVERIFY(!apps.Icon(0, 0).isNull());
    QVERIFY(apps.Icon(0, slot).isNull());
}

QTEST_MAIN(TstMGetFileIcon)

#include "tst_mgetfileicon.moc"

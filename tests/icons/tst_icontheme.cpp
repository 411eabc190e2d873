// Theme icons found without the host's theme: through the theme's icon-theme.cache where one is
// there and not older than its folders, else by looking into the folders.
#include "icons/IconTheme.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

void append32(QByteArray &bytes, quint32 value)
{
    const quint32 big = qToBigEndian(value);
    bytes.append(reinterpret_cast<const char *>(&big), 4);
}

void append16(QByteArray &bytes, quint16 value)
{
    const quint16 big = qToBigEndian(value);
    bytes.append(reinterpret_cast<const char *>(&big), 2);
}

/// An icon-theme.cache naming one icon, as a PNG in the theme's one folder "16x16/apps".
QByteArray cacheOf(const QByteArray &icon)
{
    // header | folder list | folder name | hash of one bucket | icon | image list | icon name
    QByteArray bytes;
    append16(bytes, 1);
    append16(bytes, 0);
    append32(bytes, 32); // hash
    append32(bytes, 12); // folder list
    append32(bytes, 1);
    append32(bytes, 20);
    bytes += "16x16/apps";
    bytes.resize(32, '\0');
    append32(bytes, 1);
    append32(bytes, 40);
    append32(bytes, 0xFFFFFFFF); // no next icon in the chain
    append32(bytes, 64);
    append32(bytes, 52);
    append32(bytes, 1);
    append16(bytes, 0);
    append16(bytes, 0x4); // PNG
    append32(bytes, 0);
    bytes += icon + '\0';
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool writeIcon(const QString &path, QColor colour)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path);
}

/// Sets the modification time of a file or folder to @p offset seconds from now.
bool setModified(const QString &path, int offset)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + offset, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

class tst_IconTheme : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_data.path().toUtf8());
    }

    void cacheOrFolders_data()
    {
        QTest::addColumn<bool>("cacheFresh");
        QTest::addColumn<bool>("found");
        // The cache names a file that is not there: only a cache that is used finds it.
        QTest::newRow("fresh-cache-is-used") << true << true;
        QTest::newRow("cache-older-than-its-folder-is-not") << false << false;
    }

    // A theme whose cache names "cached" although the folder holds "looked-up" only.
    void cacheOrFolders()
    {
        QFETCH(bool, cacheFresh);
        QFETCH(bool, found);
        const QString root = m_data.filePath(u"icons/hicolor"_s);
        QDir(root).removeRecursively();
        QVERIFY(writeFile(root + u"/index.theme"_s,
                          "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps\n\n[16x16/apps]\nSize=16\nType=Threshold\n"));
        QVERIFY(writeIcon(root + u"/16x16/apps/looked-up.png"_s, Qt::green));
        QVERIFY(writeFile(root + u"/icon-theme.cache"_s, cacheOf("cached")));
        for (const QString &folder : {root, root + u"/16x16/apps"_s})
            QVERIFY(setModified(folder, cacheFresh ? -60 : 60));

        Lanyard::IconTheme theme;
        QCOMPARE(!theme.icon(u"cached"_s).isNull(), found);
        // A cache that is used is trusted: what it does not name is not looked for.
        QCOMPARE(theme.icon(u"looked-up"_s).isNull(), found);
        QCOMPARE(theme.icon(u"nowhere"_s).isNull(), true);
    }
};

QTEST_MAIN(tst_IconTheme)
#include "tst_icontheme.moc"

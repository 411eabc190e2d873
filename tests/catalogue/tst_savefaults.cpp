// The save at release when writing fails: the previous launch list stays whole, the failure is
// logged on the "lanyard" category, and the catalogue in memory is untouched.
#include "catalogue/Catalogue.h"
#include "catalogue/LaunchListFile.h"

#include <Lanyard/ExternalApps.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace Lanyard;

namespace {

QString s(const char *text) { return QString::fromUtf8(text); }

const QByteArray original = "; written by hand\r\nTools,Editor,/usr/bin/ed,%FILE%,0\r\n";

bool run(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

/// A small file system of its own, so that it can be made full or read-only. Needs root; a
/// test that needs it is skipped without.
class ScratchMount
{
public:
    explicit ScratchMount(const QString &where, const char *size)
        : m_where(where)
    {
        m_mounted = ::geteuid() == 0
            && run(s("mount"), {s("-t"), s("tmpfs"), s("-o"), QStringLiteral("size=") + QString::fromLatin1(size), s("tmpfs"), where});
    }
    ~ScratchMount()
    {
        if (m_mounted)
            run(s("umount"), {m_where});
    }
    bool mounted() const { return m_mounted; }
    bool makeReadOnly() { return run(s("mount"), {s("-o"), s("remount,ro"), m_where}); }

private:
    QString m_where;
    bool m_mounted = false;
};

void writeOriginal(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(original), original.size());
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

/// Loads the original and adds enough entries that the new file would be ~200 KB.
void growCatalogue(ExternalApps &apps)
{
    apps.setMaxGroups(100);
    apps.setMaxApps(100);
    for (int g = 0; g < 40; ++g)
        for (int a = 0; a < 50; ++a)
            QVERIFY(apps.AddApp(QStringLiteral("Group ") + QString::number(g), QStringLiteral("Application ") + QString::number(a),
                                s("/usr/bin/program-with-a-long-name"), s("--option=value \"%FILE%\" %LINE%"), false));
}

/// Limits the size of any file this process writes, for the lifetime of the object.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_saved {};
    void (*m_previousHandler)(int) = nullptr;
};

} // namespace

class tst_SaveFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failedSaveAtReleaseKeepsOldFile_data();
    void failedSaveAtReleaseKeepsOldFile();
    void failedSaveLeavesCatalogueAlone();
};

void tst_SaveFaults::failedSaveAtReleaseKeepsOldFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("full-disk") << s("full-disk");
    QTest::newRow("folder-not-writable") << s("read-only");
    QTest::newRow("error-after-half-the-lines") << s("half");
    QTest::newRow("folder-missing") << s("missing-folder");
    QTest::newRow("folder-is-a-file") << s("file-as-folder");
}

void tst_SaveFaults::failedSaveAtReleaseKeepsOldFile()
{
    QFETCH(QString, fault);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString mountPoint = dir.filePath(s("fs"));
    QVERIFY(QDir().mkpath(mountPoint));
    ScratchMount mount(mountPoint, fault == u"full-disk" ? "64k" : "4m");
    if ((fault == u"full-disk" || fault == u"read-only") && !mount.mounted())
        QSKIP("needs root to mount a small file system");

    QString path = (mount.mounted() ? mountPoint : dir.path()) + s("/tools.lst");
    if (fault == u"missing-folder") {
        path = dir.filePath(s("no/such/folder/tools.lst"));
    } else if (fault == u"file-as-folder") {
        writeOriginal(path);
        path += s("/tools.lst");
    } else {
        writeOriginal(path);
    }
    const QByteArray before = contents(path);

    auto apps = std::make_unique<ExternalApps>();
    growCatalogue(*apps);
    apps->setEXTFile(path);
    if (fault == u"read-only")
        QVERIFY(mount.makeReadOnly());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(s("The launch list was not saved")));
    if (fault == u"half") {
        FileSizeLimit limit(100 * 1024);
        apps.reset();
    } else {
        apps.reset();
    }
    QCOMPARE(contents(path), before);
    if (fault == u"file-as-folder")
        QCOMPARE(contents(QFileInfo(path).path()), original);
    // Nothing half-written is left beside it either.
    const QString folder = QFileInfo(path).absolutePath();
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.size() <= 1, qPrintable(left.join(u' ')));
}

void tst_SaveFaults::failedSaveLeavesCatalogueAlone()
{
    QTemporaryDir dir;
    Catalogue catalogue;
    catalogue.setMaxGroups(100);
    catalogue.setMaxApps(100);
    for (int g = 0; g < 40; ++g)
        for (int a = 0; a < 50; ++a)
            QVERIFY(catalogue.addApp(s("Group ") + QString::number(g), s("Application ") + QString::number(a),
                                     s("/usr/bin/program-with-a-long-name"), s("--option=value \"%FILE%\""), false));
    const auto snapshot = [&] {
        QStringList rows;
        for (qint16 g = 0; g < catalogue.groupCount(); ++g)
            for (qint16 a = 0; a < catalogue.group(g).AppCount(); ++a)
                rows << catalogue.group(g).GroupName() + catalogue.app(g, a).ApplicationName + catalogue.app(g, a).AppPath
                            + catalogue.app(g, a).CmdLine;
        return rows;
    };
    const QStringList before = snapshot();
    {
        FileSizeLimit limit(50 * 1024);
        QVERIFY_THROWS_EXCEPTION(ComponentError,
                                 LaunchListFile::save(catalogue, dir.filePath(s("x.lst")), LaunchListFile::Encoding::Utf8));
    }
    QCOMPARE(snapshot(), before);
    QVERIFY(!QFile::exists(dir.filePath(s("x.lst"))));
}

QTEST_GUILESS_MAIN(tst_SaveFaults)
#include "tst_savefaults.moc"

// The user's launch list survives what can happen to it: files that cannot be read, other
// programs writing it too, values it cannot hold, folders that take no new file.
#include "common/CatalogueDump.h"
#include "common/ComponentErrors.h"
#include "common/FilePermissionsApply.h"
#include "common/TestFiles.h"

#include <Lanyard/ExternalApps.h>

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QByteArray original = "; mine, written by hand\r\nTools,Editor,/usr/bin/ed,-p,0\r\n";

mode_t fileType(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

/// Puts a file of @p kind at @p path: the list as a file of @p mode, or a special file.
bool makeFile(const QString &kind, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (kind == u"fifo")
        return ::mkfifo(native.constData(), 0666) == 0;
    if (kind == u"device") // the null device, made here: a test must not risk the system's own
        return ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    if (kind == u"folder")
        return QDir().mkdir(path);
    if (kind == u"socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return bound;
    }
    return TestFiles::write(path, original) && ::chmod(native.constData(), kind.mid(5).toUInt(nullptr, 8)) == 0;
}

QStringList loadedFrom(const QString &path)
{
    ExternalApps apps;
    apps.setMaxGroups(20);
    apps.setEXTFile(path);
    return dump(apps);
}

using Change = std::function<void(ExternalApps &)>;
using OtherWriter = std::function<void(const QString &path)>;

} // namespace

class tst_LaunchListSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void listThatCannotBeReadIsNeverWritten_data();
    void listThatCannotBeReadIsNeverWritten();
    void otherWritersChangesSurvive_data();
    void otherWritersChangesSurvive();
    void valuesTheListCannotHoldAreRefused_data();
    void valuesTheListCannotHoldAreRefused();
    void folderWithoutRoomForANewFile_data();
    void folderWithoutRoomForANewFile();
    void ownerModeAndLinkAreKept();
    void relativePathNamesTheFolderOfTheAssignment();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void tst_LaunchListSafety::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // Open to anyone: permission cases run as nobody (FilePermissionsApply).
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    m_path = m_dir->filePath(u"tools.lst"_s);
}

void tst_LaunchListSafety::listThatCannotBeReadIsNeverWritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("file-mode-200") << u"mode-200"_s << 70;
    QTest::newRow("file-mode-222") << u"mode-222"_s << 70;
    QTest::newRow("fifo") << u"fifo"_s << 75;
    QTest::newRow("device") << u"device"_s << 75;
    QTest::newRow("socket") << u"socket"_s << 75;
    QTest::newRow("folder") << u"folder"_s << 75;
}

// The assignment fails, and neither save() nor the release writes over what was not read.
void tst_LaunchListSafety::listThatCannotBeReadIsNeverWritten()
{
    QFETCH(QString, kind);
    QFETCH(int, error);
    if (kind == u"device" && ::geteuid() != 0)
        m_path = u"/dev/null"_s; // another user cannot harm it
    else
        QVERIFY(makeFile(kind, m_path));
    const mode_t type = fileType(m_path);
    {
        const FilePermissionsApply permissions;
        auto apps = std::make_unique<ExternalApps>();
        QCOMPARE(errorOf([&] { apps->setEXTFile(m_path); }), error);
        QCOMPARE(apps->EXTFile(), m_path);
        QVERIFY(apps->AddApp(u"Tools"_s, u"Viewer"_s, u"/usr/bin/less"_s, QString(), false));
        QSignalSpy failed(apps.get(), &ExternalApps::saveFailed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
        QVERIFY(!apps->save());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
        apps.reset();
        QCOMPARE(failed.count(), 2);
    }
    QCOMPARE(fileType(m_path), type);
    if (kind.startsWith(u"mode"))
        QCOMPARE(TestFiles::read(m_path), original);
}

void tst_LaunchListSafety::otherWritersChangesSurvive_data()
{
    QTest::addColumn<Change>("ours");
    QTest::addColumn<OtherWriter>("theirs");
    QTest::addColumn<QStringList>("after");

    const Change nothing = [](ExternalApps &) {};
    const OtherWriter addsViewer = [](const QString &path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append) && file.write("Tools,Viewer,/usr/bin/less,,0\r\n") > 0);
    };
    const QString editor = u"Tools|Editor|/usr/bin/ed|-p|0"_s;
    const QString viewer = u"Tools|Viewer|/usr/bin/less||0"_s;
    QTest::newRow("unchanged-object-writes-nothing") << nothing << addsViewer << QStringList{editor, viewer};
    QTest::newRow("both-add") << Change([](ExternalApps &a) { a.AddApp(u"Games"_s, u"Chess"_s, u"/g"_s, {}, true); })
                              << addsViewer << QStringList{editor, viewer, u"Games|Chess|/g||-1"_s};
    QTest::newRow("we-delete-they-add") << Change([](ExternalApps &a) { a.DeleteApp(u"Tools"_s, u"Editor"_s); })
                                        << addsViewer << QStringList{viewer};
    QTest::newRow("we-rename-they-add")
        << Change([](ExternalApps &a) { a.EditApp(u"Tools"_s, u"Editor"_s, u"Edit"_s, u"ed"_s, false); }) << addsViewer
        << QStringList{viewer, u"Edit|ed|/usr/bin/ed|-p|0"_s};
    QTest::newRow("our-changed-entry-wins-whole")
        << Change([](ExternalApps &a) { a.setCmdLine(u"Tools"_s, u"Editor"_s, u"-q"_s); })
        << OtherWriter([](const QString &path) {
               QVERIFY(TestFiles::write(path, "Tools,Editor,/bin/ed,-x,0\r\nTools,Viewer,/usr/bin/less,,0\r\n"));
           })
        << QStringList{u"Tools|Editor|/usr/bin/ed|-q|0"_s, viewer};
    QTest::newRow("another-object-adds") << Change([](ExternalApps &a) { a.AddApp(u"A"_s, u"1"_s, u"/1"_s, {}, false); })
                                         << OtherWriter([](const QString &path) {
                                                ExternalApps other;
                                                other.setEXTFile(path);
                                                QVERIFY(other.AddApp(u"B"_s, u"2"_s, u"/2"_s, {}, false));
                                            })
                                         << QStringList{editor, u"B|2|/2||0"_s, u"A|1|/1||0"_s};
    QTest::newRow("entries-beyond-our-limits-stay")
        << Change([](ExternalApps &a) { a.AddApp(u"Tools"_s, u"New"_s, u"/n"_s, {}, false); })
        << OtherWriter([](const QString &) {}) << QStringList{editor, u"Tools|New|/n||0"_s, u"Six|x|/x||0"_s};
}

void tst_LaunchListSafety::otherWritersChangesSurvive()
{
    QFETCH(Change, ours);
    QFETCH(OtherWriter, theirs);
    QFETCH(QStringList, after);
    const bool beyondLimits = after.last().startsWith(u"Six"_s);
    QVERIFY(TestFiles::write(m_path, beyondLimits ? original + "Six,x,/x,,0\r\n" : original));
    {
        ExternalApps apps;
        apps.setMaxGroups(beyondLimits ? 1 : 5); // "Six" is left out
        apps.setEXTFile(m_path);
        ours(apps);
        theirs(m_path);
    }
    QCOMPARE(loadedFrom(m_path), after);
}

void tst_LaunchListSafety::valuesTheListCannotHoldAreRefused_data()
{
    QTest::addColumn<std::function<void(ExternalApps &, const QString &)>>("store");
    QTest::addColumn<QString>("value");

    const std::pair<const char *, std::function<void(ExternalApps &, const QString &)>> members[] = {
        {"AddApp-group", [](ExternalApps &a, const QString &v) { a.AddApp(v, u"N"_s, u"/p"_s, {}, false); }},
        {"AddApp-name", [](ExternalApps &a, const QString &v) { a.AddApp(u"G"_s, v, u"/p"_s, {}, false); }},
        {"AddApp-path", [](ExternalApps &a, const QString &v) { a.AddApp(u"G"_s, u"N"_s, v, {}, false); }},
        {"AddApp-cmd", [](ExternalApps &a, const QString &v) { a.AddApp(u"G"_s, u"N"_s, u"/p"_s, v, false); }},
        {"EditApp-group", [](ExternalApps &a, const QString &v) { a.EditApp(u"Tools"_s, u"Editor"_s, v, u"E"_s, false); }},
        {"EditApp-name", [](ExternalApps &a, const QString &v) { a.EditApp(u"Tools"_s, u"Editor"_s, u"Tools"_s, v, false); }},
        {"EditApp-path", [](ExternalApps &a, const QString &v) { a.EditApp(u"Tools"_s, u"Editor"_s, u"Tools"_s, u"E"_s, false, v); }},
        {"EditApp-cmd", [](ExternalApps &a, const QString &v) { a.EditApp(u"Tools"_s, u"Editor"_s, u"Tools"_s, u"E"_s, false, {}, v); }},
        {"GroupName", [](ExternalApps &a, const QString &v) { a.setGroupName(0, v); }},
        {"ApplicationName", [](ExternalApps &a, const QString &v) { a.setApplicationName(0, 0, v); }},
        {"AppPath", [](ExternalApps &a, const QString &v) { a.setAppPath(0, 0, v); }},
        {"CmdLine", [](ExternalApps &a, const QString &v) { a.setCmdLine(0, 0, v); }},
    };
    const std::pair<const char *, QString> values[] = {
        {"comma", u"a,b"_s}, {"cr", u"a\rb"_s}, {"lf", u"a\nb"_s}, {"nul", QStringView(u"a\0b", 3).toString()},
        {"leading-space", u" a"_s}, {"trailing-tab", u"a\t"_s},
    };
    for (const auto &[member, store] : members) {
        for (const auto &[kind, value] : values)
            QTest::addRow("%s-%s", member, kind) << store << value;
    }
    QTest::newRow("AddApp-group-comment") << members[0].second << u" ;x"_s;
    QTest::newRow("GroupName-comment") << members[8].second << u";x"_s;
    QTest::newRow("AddApp-path-bytes-no-utf8-list-holds")
        << members[2].second << QStringView(u"/opt/caf\xdce9/run").toString();
}

// Refused with InvalidArgument: the member changes nothing, and nothing reaches the file.
void tst_LaunchListSafety::valuesTheListCannotHoldAreRefused()
{
    QFETCH(std::function<void(ExternalApps &, const QString &)>, store);
    QFETCH(QString, value);
    QVERIFY(TestFiles::write(m_path, original));
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        const QStringList before = dump(apps);
        QCOMPARE(errorOf([&] { store(apps, value); }), 5);
        QCOMPARE(dump(apps), before);
    }
    QCOMPARE(TestFiles::read(m_path), original);
}

void tst_LaunchListSafety::folderWithoutRoomForANewFile_data()
{
    QTest::addColumn<bool>("fileWritable");
    QTest::newRow("file-written-in-place") << true;
    QTest::newRow("read-only-file-kept") << false;
}

void tst_LaunchListSafety::folderWithoutRoomForANewFile()
{
    QFETCH(bool, fileWritable);
    const QString folder = m_dir->filePath(u"locked"_s);
    const QString path = folder + u"/tools.lst"_s;
    QVERIFY(QDir().mkdir(folder) && TestFiles::write(path, original));
    QVERIFY(QFile::setPermissions(path, fileWritable ? QFileDevice::Permissions(0x6666) : QFileDevice::Permissions(0x4444)));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
    {
        const FilePermissionsApply permissions;
        ExternalApps apps;
        apps.setEXTFile(path);
        QVERIFY(apps.AddApp(u"Tools"_s, u"Viewer"_s, u"/usr/bin/less"_s, QString(), false));
        QSignalSpy failed(&apps, &ExternalApps::saveFailed);
        if (!fileWritable)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
        QCOMPARE(apps.save(), fileWritable);
        QCOMPARE(failed.count(), fileWritable ? 0 : 1);
        if (!fileWritable) {
            QVERIFY2(failed.first().first().toString().contains(path), qPrintable(failed.first().first().toString()));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s)); // the release tries again
        }
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"tools.lst"_s});
    const QString editor = u"Tools|Editor|/usr/bin/ed|-p|0"_s;
    const QStringList expected = fileWritable ? QStringList{editor, u"Tools|Viewer|/usr/bin/less||0"_s} : QStringList{editor};
    QCOMPARE(loadedFrom(path), expected);
    if (!fileWritable)
        QCOMPARE(TestFiles::read(path), original);
}

// A save by root keeps a user's list theirs; a list reached through a link stays a link.
void tst_LaunchListSafety::ownerModeAndLinkAreKept()
{
    if (::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    const QString target = m_dir->filePath(u"real.lst"_s);
    QVERIFY(TestFiles::write(target, original));
    QVERIFY(::chown(QFile::encodeName(target).constData(), FilePermissionsApply::nobody, FilePermissionsApply::nobody) == 0);
    QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);
    QVERIFY(QFile::link(target, m_path));
    {
        ExternalApps apps;
        apps.setEXTFile(m_path);
        QVERIFY(apps.AddApp(u"Tools"_s, u"Viewer"_s, u"/usr/bin/less"_s, QString(), false));
    }
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(target).constData(), &info) == 0);
    QCOMPARE(info.st_uid, uid_t(FilePermissionsApply::nobody));
    QCOMPARE(info.st_gid, gid_t(FilePermissionsApply::nobody));
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
    QCOMPARE(fileType(m_path), mode_t(S_IFLNK));
    QCOMPARE(loadedFrom(m_path).size(), 2);
}

void tst_LaunchListSafety::relativePathNamesTheFolderOfTheAssignment()
{
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    {
        ExternalApps apps;
        apps.setEXTFile(u"rel.lst"_s);
        QCOMPARE(apps.EXTFile(), m_dir->filePath(u"rel.lst"_s));
        QVERIFY(QDir::setCurrent(u"/"_s));
        QVERIFY(apps.AddApp(u"Tools"_s, u"Viewer"_s, u"/usr/bin/less"_s, QString(), false));
    }
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(loadedFrom(m_dir->filePath(u"rel.lst"_s)), QStringList{u"Tools|Viewer|/usr/bin/less||0"_s});
}

QTEST_GUILESS_MAIN(tst_LaunchListSafety)
#include "tst_launchlistsafety.moc"

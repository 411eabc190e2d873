// SPDX-License-Identifier: MIT
// The launch list file: what is read and written; the list kept when it cannot be saved.
#include "common/Catalogue.h"
#include "common/Files.h"

#include <QDate>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

const QByteArray original = "; mine, written by hand\r\nTools,Editor,/usr/bin/ed,-p,0\r\n";
const QByteArray header = "; Format: Group Label,Program label,Program Path,Command line\r\n";
const QString editor = u"Tools|Editor|/usr/bin/ed|-p|0"_s, viewer = u"Tools|Viewer|/usr/bin/less||0"_s;

mode_t fileType(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

} // namespace

class tst_LaunchList : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
        m_path = m_dir->filePath(u"tools.lst"_s);
    }

    // Scripts of members, other writers' bytes, what it shows; the file after the release.
    void writes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QByteArray>("after"); // "=": as before
        const auto read = [](const char *tag, const QByteArray &bytes, const QStringList &entries) {
            QTest::newRow(tag) << bytes << QStringList{"open", "shows " + entries.join(u'\n')} << QByteArray("=");
        };
        read("blank-comment-short-and-long-lines-blanks-around",
             header
                 + "\r\n \t \r\n\t\r\nT,A,/a,,0\r\n\r\n \t; T,A,/a,,0\r\n;T,B,/b,,0\r\nT,A\r\nT,B,,\r\nT,C, , ,\r\n"
                   ",A,/a,,0\r\nT,,/a\r\n \t,A,/a\r\n  \tT b \t,\t A ,  /a b ,\t-x y\t, \t-1 \t\r\nU,A,/a,/a,/b,-1",
             {"T|A|/a||0", "T b|A|/a b|-x y|-1", "U|A|/a|/a|0"});
        read("flag-numbers",
             "T,1,/a,,1\nT,2,/a,,-1\nT,3,/a,,TRUE\nT,4,/a,,\nT,5,/a,,0.5\nT,6,/a,,12abc\nT,7,/a,,abc1\nT,8,/a,,+.\n"
             "T,9,/a,,9\nT,10,/a,,-0.09\nT,11,/a,,\v00\nT,12,/a,,\v3\nT,13,/a,,/1\nT,14,/a,,:1",
             {"T|1|/a||-1", "T|2|/a||-1", "T|3|/a||0", "T|4|/a||0", "T|5|/a||-1", "T|6|/a||-1", "T|7|/a||0",
              "T|8|/a||0", "T|9|/a||-1", "T|10|/a||-1", "T|11|/a||0", "T|12|/a||-1", "T|13|/a||0", "T|14|/a||0"});
        QTest::newRow("slots-beyond-the-counts")
            << QByteArray("Tools,Editor,/bin/ed,,0\n")
            << QStringList{"open", "ApplicationName 0 1 Hidden", "AppPath 0 2 /h", "CmdLine 1 0 -x"}
            << QByteArray("Tools,Editor,/bin/ed,,0\n");
        QTest::newRow("group-renamed-onto-one-that-is-there")
            << original + "Net,News,/n,,0\r\nWeb,Mail,/m,,0\r\n"
            << QStringList{"open", "group 2 Net", "append Tools,Viewer,/v,,0\r\n"}
            << header + "Tools,Editor,/usr/bin/ed,-p,0\r\nNet,News,/n,,0\r\nNet,Mail,/m,,0\r\nTools,Viewer,/v,,0\r\n";
        QTest::newRow("added-before-the-file-is-named") // a change like any other, which the file's lines join
            << QByteArray("Other,y,/y,,0\nMine,z,/z,,0\n") << QStringList{"add Mine x /x", "open"}
            << header + "Other,y,/y,,0\r\nMine,x,/x,,0\r\nMine,z,/z,,0\r\n";
    }
    void writes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, script);
        QFETCH(QByteArray, after);
        QVERIFY(TestFiles::write(m_path, before));
        {
            ExternalApps apps;
            apps.setMaxApps(20);
            for (const QString &step : script) {
                const QString op = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
                const QStringList a = rest.split(u' ');
                if (op == u"open")
                    apps.setEXTFile(m_path);
                if (op == u"add")
                    apps.AddApp(a[0], a[1], a[2], QString(), false);
                if (op == u"group")
                    apps.setGroupName(a[0].toShort(), a[1]);
                if (op == u"ApplicationName" || op == u"AppPath" || op == u"CmdLine") // slots by number
                    QCOMPARE(apps.invoke(op, u"let"_s, {a[0].toShort(), a[1].toShort(), a[2]})[u"error"_s].toInt(), 0);
                if (op == u"shows")
                    QCOMPARE(dump(apps).join(u'\n'), rest);
                if (op == u"append")
                    QVERIFY(TestFiles::write(m_path, TestFiles::read(m_path) + rest.toLatin1()));
            }
        }
        const QByteArray file = TestFiles::read(m_path);
        const QByteArray dated = "; Created by: liblanyard on "
                                 + QDate::currentDate().toString(u"dd-MM-yyyy").toLatin1();
        QCOMPARE(file.startsWith("; Created") ? file.mid(file.indexOf('\n') + 1) : file, after == "=" ? before : after);
        QVERIFY(!file.startsWith("; Created") || file.startsWith(dated + "\r\n"));
    }

    // Never written over, nothing left beside; a full or read-only tmpfs in a user namespace.
    void listKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("saved");
        QTest::newRow("fifo") << u"fifo"_s << 75 << false; // kind, error of the assignment, saved
        QTest::newRow("readable-at-the-save") << u"mode-0200"_s << 70 << false;
        QTest::newRow("folder-without-room-list-written-in-place") << u"locked-0666"_s << 0 << true;
        QTest::newRow("folder-without-room-read-only-list") << u"locked-0444"_s << 0 << false;
        QTest::newRow("full-file-system") << u"size=64k"_s << 0 << false;
        QTest::newRow("read-only-file-system") << u"ro"_s << 0 << false;
        QTest::newRow("owner-mode-and-link") << u"link"_s << 0 << true;
    }
    void listKept()
    {
        QFETCH(QString, kind);
        QFETCH(int, error);
        QFETCH(bool, saved);
        const QString folder = m_dir->filePath(u"locked"_s);
        const QByteArray native = QFile::encodeName(m_path);
        const QString inside = qEnvironmentVariable("LANYARD_TEST_FILE_SYSTEM");
        if (kind == u"size=64k" || kind == u"ro") {
            if (inside.isEmpty()) {
                QProcess child;
                child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
                child.start(
                    u"unshare"_s,
                    {u"-Urm"_s, u"sh"_s, u"-c"_s,
                     uR"(mkdir "$1" && mount -t tmpfs -o size=64k tmpfs "$1" && printf '%s' "$2" >"$1/tools.lst" &&
                                                 { [ "$3" != ro ] || mount -o remount,ro "$1"; } && LANYARD_TEST_FILE_SYSTEM="$1" exec "$0" "$4")"_s,
                     QCoreApplication::applicationFilePath(), m_dir->filePath(u"fs"_s), QString::fromLatin1(original),
                     kind, u"listKept:"_s + QString::fromLatin1(QTest::currentDataTag())});
                QVERIFY(child.waitForFinished(60000));
                QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
                return;
            }
            m_path = inside + u"/tools.lst"_s;
        } else if (kind == u"fifo") {
            QVERIFY(::mkfifo(native.constData(), 0666) == 0);
        } else if (kind.startsWith(u"locked")) {
            m_path = folder + u"/tools.lst"_s;
            QVERIFY(QDir().mkdir(folder) && TestFiles::write(m_path, original));
            QVERIFY(TestFiles::setOwner(m_path, ::geteuid(), ::getegid(), kind.mid(7).toUInt(nullptr, 8)));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
        } else if (kind == u"link") {
            const QString target = m_dir->filePath(u"real.lst"_s);
            QVERIFY(TestFiles::write(target, original) && QFile::link(target, m_path));
            QVERIFY(TestFiles::setOwner(target, ::geteuid() == 0 ? FilePermissionsApply::nobody : ::geteuid(),
                                        ::getegid(), 0640));
        } else {
            QVERIFY(TestFiles::write(m_path, original) && TestFiles::setOwner(m_path, ::geteuid(), ::getegid(), 0200));
        }
        const mode_t type = fileType(m_path);
        QString owner;
        {
            std::optional<FilePermissionsApply> permissions;
            if (kind.startsWith(u"mode") || kind.startsWith(u"locked"))
                permissions.emplace();
            auto apps = std::make_unique<ExternalApps>();
            apps->setMaxGroups(100), apps->setMaxApps(100);
            const QVariantMap assigned = apps->invoke(u"EXTFile"_s, u"let"_s, {m_path}); // the refusal in words
            QCOMPARE(assigned[u"error"_s].toInt(), error);
            QVERIFY(assigned[u"detail"_s].toString().contains(m_path + u" is a FIFO, not a launch list"_s)
                    || error != 75);
            if (QByteArrayView(QTest::currentDataTag()) == "readable-at-the-save") {
                const int was = ::setfsuid(::geteuid()); // its owner gives reading back
                QVERIFY(QFile::setPermissions(m_path, QFileDevice::Permissions(0x6666)));
                ::setfsuid(was);
            }
            owner = TestFiles::ownership(m_path), fill(*apps, {viewer});
            for (int i = 0; kind == u"size=64k" && i < 2000; ++i) // room for the list, not its new version
                apps->AddApp(u"Group %1"_s.arg(i / 50), u"Application %1"_s.arg(i % 50), u"/a"_s, u"--a=b"_s, false);
            const QStringList entries = dump(*apps);
            QSignalSpy failed(apps.get(), &ExternalApps::saveFailed);
            for (int i = 0; !saved && i < 2; ++i) // save() and the release
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
            QCOMPARE(apps->save(), saved);
            QCOMPARE(dump(*apps), entries);
            QVERIFY(saved || failed.value(0).value(0).toString().contains(QFileInfo(m_path).fileName()));
            apps.reset();
            QCOMPARE(failed.count(), saved ? 0 : 2);
        }
        QCOMPARE(fileType(m_path), type);
        QCOMPARE(TestFiles::ownership(m_path), owner);
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)) || !kind.startsWith(u"locked"));
        QVERIFY(!kind.startsWith(u"mode") || QFile::setPermissions(m_path, QFileDevice::Permissions(0x6600)));
        if (type == S_IFREG || type == S_IFLNK) {
            ExternalApps apps;
            apps.setEXTFile(m_path);
            QCOMPARE(dump(apps), saved ? (QStringList{editor, viewer}) : QStringList{editor});
        }
        QStringList left = QFileInfo(m_path).dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                             | QDir::NoDotAndDotDot);
        for (const QString &kept : {u".tools.lst.lock"_s, u"real.lst"_s, u".real.lst.lock"_s})
            left.removeAll(kept);
        QCOMPARE(left, type ? QStringList{u"tools.lst"_s} : left);
    }
};

QTEST_GUILESS_MAIN(tst_LaunchList)
#include "tst_launchlist.moc"

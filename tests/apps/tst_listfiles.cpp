// SPDX-License-Identifier: MIT
// The launch list where users keep it: reached through links, in folders that cannot be
// listed, on NFS, shared by a group, written by several `lanyard` processes at once, and after
// a save that was killed. Each case runs the command-line host as a program.
#include "common/Files.h"
#include "common/LanyardProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "; Format: Group Label,Program label,Program Path,Command line\r\n";

using namespace LanyardProcess;

constexpr gid_t staff = 4600;
constexpr User alice{4601, 4601, staff}, bob{4602, 4602, staff}, carol{4603, 4603, staff};

/// The entries of a list, as `lanyard list` prints them.
QStringList listed(const QString &path, const User &user = {})
{
    const Result result = run({u"--file"_s, path, u"list"_s}, QDir::rootPath(), user);
    if (result.status != 0)
        return {u"<list failed: "_s + result.err + u'>'};
    return result.out.split(u'\n', Qt::SkipEmptyParts);
}

/// How the parallel writers reach the list: paths (relative to the test folder) taken in turn.
struct WritersRow
{
    QStringList paths;
    QString unlistedFolder;
    bool nfsFlock = false;
};

} // namespace

Q_DECLARE_METATYPE(WritersRow)

class TestListFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // Other users' processes reach into it.
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    }

    // 20 `lanyard add` at once keep 20 entries, however each reaches the list.
    void parallelWritersKeepEveryEntry_data()
    {
        QTest::addColumn<WritersRow>("row");
        // The usual dotfiles setup: the configuration folder holds a link into another one.
        QTest::newRow("link-in-another-folder-and-target")
            << WritersRow{{u"home/.config/lanyard/tools.lst"_s, u"home/dotfiles/tools.lst"_s}};
        // Writable, not listable: no lock on the folder can be had by its owner.
        QTest::newRow("folder-mode-0300") << WritersRow{{u"private/tools.lst"_s}, u"private"_s};
        QTest::newRow("flock-as-on-nfs") << WritersRow{{u"home/dotfiles/tools.lst"_s}, {}, true};
    }
    void parallelWritersKeepEveryEntry()
    {
        QFETCH(WritersRow, row);
        QVERIFY(QDir().mkpath(path(u"home/.config/lanyard"_s)) && QDir().mkpath(path(u"home/dotfiles"_s)));
        QVERIFY(TestFiles::link(u"../../dotfiles/tools.lst"_s, path(u"home/.config/lanyard/tools.lst"_s)));
        const QString list = path(row.paths.first());
        QVERIFY(QDir().mkpath(QFileInfo(list).path()));
        QVERIFY(TestFiles::write(list, header));
        User user;
        if (!row.unlistedFolder.isEmpty()) {
            // Permissions apply to the writers: they run as nobody, whose folder it is.
            user = ::geteuid() == 0 ? nobody : User{};
            QVERIFY(TestFiles::setOwner(list, ::geteuid() == 0 ? nobody.uid : ::geteuid(), ::getegid(), 0644));
            QVERIFY(TestFiles::setOwner(path(row.unlistedFolder), ::geteuid() == 0 ? nobody.uid : ::geteuid(),
                                        ::getegid(), 0300));
        }
        const QStringList environment = row.nfsFlock ? QStringList{u"LD_PRELOAD=" LANYARD_TEST_BIN_DIR "/nfsflock.so"_s}
                                                     : QStringList{};
        constexpr int writers = 20;
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < writers; ++i) {
            processes.push_back(start({u"--file"_s, path(row.paths.at(i % row.paths.size())), u"add"_s,
                                       u"G"_s + QString::number(i % 3), u"App "_s + QString::number(i), u"/bin/x"_s},
                                      m_dir->path(), user, environment));
        }
        for (auto &process : processes) {
            const Result result = finish(*process);
            QVERIFY2(result.status == 0, qPrintable(result.err));
        }
        if (!row.unlistedFolder.isEmpty())
            QVERIFY(QFile::setPermissions(path(row.unlistedFolder), QFileDevice::Permissions(0x7777)));
        QCOMPARE(listed(list).size(), writers);
    }

    // ".." after a link to a folder is the link target's parent, as for every other program.
    void dotDotAfterALinkedFolder_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("absolute");
        QTest::newRow("list-relative") << "list" << false;
        QTest::newRow("add-relative") << "add" << false;
        QTest::newRow("add-absolute") << "add" << true;
    }
    void dotDotAfterALinkedFolder()
    {
        QFETCH(QString, command);
        QFETCH(bool, absolute);
        QVERIFY(QDir().mkpath(path(u"home/dotfiles/lanyard"_s)) && QDir().mkpath(path(u"home/.config"_s)));
        QVERIFY(TestFiles::link(u"../dotfiles/lanyard"_s, path(u"home/.config/lanyard"_s)));
        const QString list = path(u"home/dotfiles/tools.lst"_s);
        QVERIFY(TestFiles::write(list, header + "Tools,Old,/bin/old,,0\r\n"));
        const QString given = (absolute ? path(u"home/"_s) : QString()) + u".config/lanyard/../tools.lst"_s;
        QStringList arguments{u"--file"_s, given, command};
        if (command == u"add")
            arguments << u"Tools"_s << u"New"_s << u"/bin/new"_s;
        const Result result = run(arguments, path(u"home"_s));
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const QString old = u"Tools\tOld\t/bin/old\t\t0"_s;
        if (command == u"list")
            QCOMPARE(result.out, old + u'\n');
        else
            QCOMPARE(listed(list), (QStringList{old, u"Tools\tNew\t/bin/new\t\t0"_s}));
        QVERIFY(!QFile::exists(path(u"home/.config/tools.lst"_s)));
    }

    // Members of a list's group keep it theirs, whoever of them saves it.
    void groupSharedListStaysShared_data()
    {
        QTest::addColumn<uid_t>("saver");
        QTest::newRow("member-not-owner") << bob.uid;
        QTest::newRow("owner") << alice.uid;
        QTest::newRow("root") << uid_t(0);
    }
    void groupSharedListStaysShared()
    {
        QFETCH(uid_t, saver);
        QVERIFY2(::geteuid() == 0, "other users' processes need root to start");
        const QString folder = path(u"shared"_s);
        const QString list = folder + u"/tools.lst"_s;
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(list, header + "Tools,Old,/bin/old,,0\r\n"));
        QVERIFY(TestFiles::setOwner(folder, 0, staff, 0775) && TestFiles::setOwner(list, alice.uid, staff, 0660));
        const User savers[] = {alice, bob, {}};
        const User user = *std::find_if(std::begin(savers), std::end(savers),
                                        [&](const User &u) { return u.uid == saver; });
        const Result added = run({u"--file"_s, list, u"add"_s, u"Tools"_s, u"New"_s, u"/bin/new"_s}, folder, user);
        QVERIFY2(added.status == 0, qPrintable(added.err));
        QCOMPARE(TestFiles::ownership(list), u"4601:4600:0660"_s);
        // The lock file is the group's as the list is.
        QCOMPARE(TestFiles::ownership(folder + u"/.tools.lst.lock"_s).section(u':', 1), u"4600:0660"_s);
        // Every member reads and writes it still.
        const QStringList both{u"Tools\tOld\t/bin/old\t\t0"_s, u"Tools\tNew\t/bin/new\t\t0"_s};
        for (const User &member : {alice, bob, carol})
            QCOMPARE(listed(list, member), both);
        for (const User &member : {alice, carol}) {
            const Result more = run({u"--file"_s, list, u"add"_s, u"More"_s, QString::number(member.uid), u"/bin/x"_s},
                                    folder, member);
            QVERIFY2(more.status == 0, qPrintable(more.err));
        }
        QCOMPARE(listed(list, bob).size(), 4);
    }

    // On a file system without fallocate() a save in place makes sure of the room it needs
    // instead: one that finds too little is refused, one whose write fails says so, and either
    // way the list stays as it was.
    void inPlaceWithoutFallocate_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("environment"); // besides the preload
        QTest::addColumn<QString>("refusal");         // empty: saved
        QTest::addColumn<QStringList>("entries");
        const QStringList add{u"add"_s, u"Tools"_s, u"New"_s, u"/bin/new"_s};
        const QString old = u"Tools\tOld\t/bin/old\t\t0"_s, added = u"Tools\tNew\t/bin/new\t\t0"_s;
        const QStringList noRoom{u"LANYARD_TEST_FREE_BYTES=0"_s};
        QTest::newRow("growing-with-room")
            << add << QStringList() << QString() << QStringList{old, u"Tools\tX\t/bin/x\t\t0"_s, added};
        QTest::newRow("growing-without-room") << add << noRoom << u"no room to write"_s << QStringList{};
        // The new entry's line, "Tools,New,/bin/new,,0" and CR LF, is all it grows by.
        QTest::newRow("growing-into-the-room-there-is")
            << add << QStringList{u"LANYARD_TEST_FREE_BYTES=23"_s} << QString()
            << QStringList{old, u"Tools\tX\t/bin/x\t\t0"_s, added};
        QTest::newRow("growing-one-byte-short-of-room")
            << add << QStringList{u"LANYARD_TEST_FREE_BYTES=22"_s} << u"no room to write"_s << QStringList{};
        QTest::newRow("written-a-few-bytes-a-call") << add << QStringList{u"LANYARD_TEST_SHORT_WRITES=7"_s} << QString()
                                                    << QStringList{old, u"Tools\tX\t/bin/x\t\t0"_s, added};
        QTest::newRow("shrinking-without-room") << QStringList{u"delete"_s, u"Tools"_s, u"Old"_s} << noRoom << QString()
                                                << QStringList{u"Tools\tX\t/bin/x\t\t0"_s};
        QTest::newRow("write-fails") << add << QStringList{u"LANYARD_TEST_WRITE_ERROR=5"_s} << u"cannot write"_s
                                     << QStringList{};
    }
    void inPlaceWithoutFallocate()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, environment);
        QFETCH(QString, refusal);
        QFETCH(QStringList, entries);
        const QString folder = path(u"fixed"_s);
        const QString list = folder + u"/tools.lst"_s;
        // As a save writes it, so that a deletion shrinks it.
        const QByteArray before = "; Created by: liblanyard on 01-12-2026\r\n" + header
                                  + "Tools,Old,/bin/old,,0\r\nTools,X,/bin/x,,0\r\n";
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(list, before));
        // A folder that takes no new file; its owner is not root, whom permissions do not bind.
        const User user = ::geteuid() == 0 ? nobody : User{};
        QVERIFY(TestFiles::setOwner(list, ::geteuid() == 0 ? nobody.uid : ::geteuid(), ::getegid(), 0666));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
        const auto writable = qScopeGuard([&] { QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)); });
        environment << u"LD_PRELOAD=" LANYARD_TEST_BIN_DIR "/nofallocate.so"_s;
        const Result saved = run(QStringList{u"--file"_s, list} + command, folder, user, environment);
        if (!refusal.isEmpty()) {
            QVERIFY2(saved.status != 0 && saved.err.contains(refusal), qPrintable(saved.err));
            QCOMPARE(TestFiles::read(list), before);
        } else {
            QVERIFY2(saved.status == 0, qPrintable(saved.err));
            QCOMPARE(listed(list), entries);
        }
    }

    // A save whose last step fails (the rename, refused here) says so, and leaves the list as it
    // was and no temporary.
    void failedReplaceReported()
    {
        const QString folder = path(u"home"_s);
        const QString list = folder + u"/tools.lst"_s;
        const QByteArray before = header + "Tools,Old,/bin/old,,0\r\n";
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(list, before));
        QProcess failing;
        failing.start(u"strace"_s, {u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, u"inject=rename:error=EIO"_s,
                                    program, u"--file"_s, list, u"add"_s, u"Tools"_s, u"New"_s, u"/bin/new"_s});
        QVERIFY2(failing.waitForStarted(), "strace (Debian package strace) is needed");
        QVERIFY(failing.waitForFinished(60000));
        const QString err = QString::fromUtf8(failing.readAllStandardError());
        QVERIFY2(failing.exitCode() != 0 && err.contains(u"cannot replace"_s), qPrintable(err));
        QCOMPARE(TestFiles::read(list), before);
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(u".tools.lst.lock"_s);
        QCOMPARE(names, QStringList{u"tools.lst"_s});
    }

    // A save killed before it put its file in place leaves a temporary, which the next one removes.
    void killedSavesTemporaryRemoved()
    {
        const QString folder = path(u"home"_s);
        const QString list = folder + u"/tools.lst"_s;
        QVERIFY(QDir().mkdir(folder) && TestFiles::write(list, header + "Tools,Old,/bin/old,,0\r\n"));
        QProcess killed;
        killed.start(u"strace"_s, {u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, u"inject=rename:signal=KILL"_s,
                                   program, u"--file"_s, list, u"add"_s, u"Tools"_s, u"Lost"_s, u"/bin/lost"_s});
        QVERIFY2(killed.waitForStarted(), "strace (Debian package strace) is needed");
        QVERIFY(killed.waitForFinished(60000));
        const auto leftovers = [&] {
            QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            names.removeAll(u"tools.lst"_s);
            names.removeAll(u".tools.lst.lock"_s);
            return names;
        };
        QCOMPARE(leftovers().size(), 1);
        const Result added = run({u"--file"_s, list, u"add"_s, u"Tools"_s, u"New"_s, u"/bin/new"_s}, folder);
        QVERIFY2(added.status == 0, qPrintable(added.err));
        QCOMPARE(leftovers(), QStringList());
        QCOMPARE(listed(list), (QStringList{u"Tools\tOld\t/bin/old\t\t0"_s, u"Tools\tNew\t/bin/new\t\t0"_s}));
    }
};

QTEST_GUILESS_MAIN(TestListFiles)

#include "tst_listfiles.moc"

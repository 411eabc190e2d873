// SPDX-License-Identifier: MIT
// Files as the kernel sees them: paths through links, the lock that writers and readers of a
// file take turns by, and the writer's care for owners and for what killed writers left.
#include "common/Files.h"
#include "common/Forked.h"
#include "util/FileListing.h"
#include "util/FileLock.h"
#include "util/FileWatch.h"
#include "util/FileWriter.h"

#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

constexpr auto moment = 30ms;

/// Runs the event loop for ten times a watch's settling time. Timers run out in the order they
/// are due, so a load that holds the loop back cannot hide a change told meanwhile.
void runPastTheWatchSettling()
{
    QEventLoop quiet;
    QTimer::singleShot(300, &quiet, &QEventLoop::quit);
    quiet.exec();
}

/// Another writer's exclusive lock on @p path, tried once: false when it must wait.
bool anotherWriterWouldWait(const QString &path)
{
    const FileLock other(path, FileLock::Mode::Exclusive, moment);
    return other.timedOut();
}

/// Why @p lock is not held, empty when it is.
QString failure(const FileLock &lock)
{
    const Result<void> taken = lock.taken();
    return taken ? QString() : taken.error().detail();
}

// Lock calls as other kernels and file systems answer them.
/// Open file description locks refused with @p Error (EINVAL: a kernel without them); the
/// process's own locks as the kernel answers them.
template<int Error>
int ofdLocksRefused(int fd, int command, struct ::flock *lock)
{
    if (command == F_OFD_SETLK) {
        errno = Error;
        return -1;
    }
    return ::fcntl(fd, command, lock);
}

int withoutLocks(int, int, struct ::flock *)
{
    errno = ENOLCK;
    return -1;
}

std::atomic<int> busyAnswers = 0;
int countingBusy(int fd, int command, struct ::flock *lock)
{
    const int result = ::fcntl(fd, command, lock);
    if (result != 0 && (errno == EAGAIN || errno == EACCES))
        ++busyAnswers;
    return result;
}

/// A folder for a list: its mode, the list's mode (0: no list), and whether a lock file that
/// only root may open is there already. The lock is taken as nobody.
struct PlaceRow
{
    mode_t folderMode, fileMode;
    FileLock::Mode mode;
    bool held;
    bool onLockFile;
    bool rootsLockFile = false;
    int error = 0;
};

struct LeftoverRow
{
    QString name;
    bool removed;
};

} // namespace

Q_DECLARE_METATYPE(PlaceRow)
Q_DECLARE_METATYPE(LeftoverRow)
Q_DECLARE_METATYPE(FileLock::Mode)
Q_DECLARE_METATYPE(FileLock::LockCall)

class tst_Files : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home; // the test folder with its links resolved

    QString path(const QString &relative) const { return m_home + u'/' + relative; }

    /// A new list put at @p at as a save puts it: written beside it, then renamed over it.
    bool replaceWithANewList(const QString &at) const
    {
        return TestFiles::write(path(u"dotfiles/new"_s), "T,B,/b,,0\n")
               && ::rename(qPrintable(path(u"dotfiles/new"_s)), qPrintable(at)) == 0;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
        m_home = FileListing::canonicalPath(m_dir->path());
        // A home with its configuration kept in dotfiles, linked into place.
        QVERIFY(QDir().mkpath(path(u"dotfiles/lanyard"_s)) && QDir().mkpath(path(u".config"_s)));
        QVERIFY(TestFiles::link(u"../dotfiles/lanyard"_s, path(u".config/lanyard"_s)));
        QVERIFY(TestFiles::write(path(u"dotfiles/tools.lst"_s), "T,A,/a,,0\n"));
        QVERIFY(TestFiles::link(u"dotfiles/tools.lst"_s, path(u"link.lst"_s)));
        QVERIFY(TestFiles::link(u"link.lst"_s, path(u"chain.lst"_s)));
        QVERIFY(TestFiles::link(u"dotfiles/lanyard/new.lst"_s, path(u"dangling.lst"_s)));
        QVERIFY(TestFiles::link(u"loop"_s, path(u"loop"_s)));
        QVERIFY(TestFiles::link(u"ring-b"_s, path(u"ring-a"_s)) && TestFiles::link(u"ring-a"_s, path(u"ring-b"_s)));
    }

    // A relative path is made absolute without touching "..": the kernel takes it after links.
    void absolutePath_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("absolute"); // "~": the current folder
        QTest::newRow("relative") << "a/b"
                                  << "~/a/b";
        QTest::newRow("dots-and-slashes") << "./a//./b"
                                          << "~/a/b";
        QTest::newRow("dot-dot-kept") << ".config/lanyard/../tools.lst"
                                      << "~/.config/lanyard/../tools.lst";
        QTest::newRow("absolute-dot-dot-kept") << "/x/./y/../z"
                                               << "/x/y/../z";
        QTest::newRow("folder") << "a/."
                                << "~/a/";
    }
    void absolutePath()
    {
        QFETCH(QString, given);
        QFETCH(QString, absolute);
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_home));
        const QString made = FileListing::absolutePath(given);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(made, absolute.replace(u"~"_s, m_home));
    }

    // The file a path names after every link, also where it does not exist yet.
    void realFile_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("real"); // empty: none
        QTest::newRow("dot-dot-after-a-linked-folder") << ".config/lanyard/../tools.lst"
                                                       << "dotfiles/tools.lst";
        QTest::newRow("new-file-after-a-linked-folder") << ".config/lanyard/../new.lst"
                                                        << "dotfiles/new.lst";
        QTest::newRow("new-file-in-a-linked-folder") << ".config/lanyard/new.lst"
                                                     << "dotfiles/lanyard/new.lst";
        QTest::newRow("link") << "link.lst"
                              << "dotfiles/tools.lst";
        QTest::newRow("link-to-a-link") << "chain.lst"
                                        << "dotfiles/tools.lst";
        QTest::newRow("link-to-a-new-file") << "dangling.lst"
                                            << "dotfiles/lanyard/new.lst";
        QTest::newRow("missing-folder") << "no/such/tools.lst"
                                        << "";
        QTest::newRow("link-loop") << "loop"
                                   << "";
        // The system would read the path only up to the NUL: another file's name.
        QTest::newRow("nul-in-the-name") << u"link.lst\0x"_s << "";
        QTest::newRow("new-file-in-the-root-folder") << "/lanyard-no-such-file"
                                                     << "/lanyard-no-such-file";
    }
    void realFile()
    {
        QFETCH(QString, given);
        QFETCH(QString, real);
        const auto full = [this](const QString &p) { return p.startsWith(u'/') ? p : path(p); };
        QCOMPARE(FileListing::realFile(full(given)), real.isEmpty() ? QString() : full(real));
        // Where the file exists, it is the one the kernel opens.
        if (!real.isEmpty() && QFile::exists(full(given)))
            QCOMPARE(inodeOf(FileListing::realFile(full(given))), inodeOf(full(given)));
    }

    // Every path to one file takes one lock: readers share it, a writer has it alone.
    void lockTakesTurns_data()
    {
        QTest::addColumn<FileLock::Mode>("first");
        QTest::addColumn<FileLock::Mode>("second");
        QTest::addColumn<QString>("otherPath");
        QTest::addColumn<bool>("secondHeld");
        using M = FileLock::Mode;
        QTest::newRow("readers-share") << M::Shared << M::Shared << "link.lst" << true;
        QTest::newRow("writer-waits-for-reader") << M::Shared << M::Exclusive << "link.lst" << false;
        QTest::newRow("reader-waits-for-writer")
            << M::Exclusive << M::Shared << ".config/lanyard/../tools.lst" << false;
        QTest::newRow("writers-through-link-and-target") << M::Exclusive << M::Exclusive << "link.lst" << false;
        QTest::newRow("writers-through-a-link-chain") << M::Exclusive << M::Exclusive << "chain.lst" << false;
    }
    void lockTakesTurns()
    {
        QFETCH(FileLock::Mode, first);
        QFETCH(FileLock::Mode, second);
        QFETCH(QString, otherPath);
        QFETCH(bool, secondHeld);
        const FileLock held(path(u"dotfiles/tools.lst"_s), first, moment);
        QVERIFY2(held.taken(), qPrintable(failure(held)));
        const FileLock other(path(otherPath), second, moment);
        QCOMPARE(other.taken().ok(), secondHeld);
        QCOMPARE(other.timedOut(), !secondHeld);
        if (!secondHeld)
            QVERIFY2(failure(other).contains(u"locked by another program"_s), qPrintable(failure(other)));
    }

    // Another program locks the list itself: a writer waits for it, and when it gives up it
    // holds nothing, not even the lock file, which the next writer takes at once.
    void listLockedByAnotherProgram()
    {
        const QString list = path(u"dotfiles/tools.lst"_s);
        const int fd = ::open(QFile::encodeName(list).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        struct ::flock whole
        {
        };
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(fd, F_OFD_SETLK, &whole), 0);
        const FileLock waiting(list, FileLock::Mode::Exclusive, moment);
        QVERIFY(waiting.timedOut() && !waiting.taken());
        QCOMPARE(waiting.lockFile(), QString());
        ::close(fd);
        const FileLock next(list, FileLock::Mode::Exclusive, moment);
        QVERIFY2(next.taken(), qPrintable(failure(next)));
        QCOMPARE(next.lockFile(), path(u"dotfiles/.tools.lst.lock"_s));
    }

    // Where the lock file cannot be made, the list itself is locked; with neither, no lock.
    void lockWherever_data()
    {
        QTest::addColumn<PlaceRow>("row");
        using M = FileLock::Mode;
        QTest::newRow("folder-that-cannot-be-listed") << PlaceRow{0300, 0644, M::Exclusive, true, true};
        QTest::newRow("folder-without-room-for-a-lock-file") << PlaceRow{0555, 0666, M::Exclusive, true, false};
        QTest::newRow("lock-file-of-another-user") << PlaceRow{0777, 0666, M::Exclusive, true, false, true};
        QTest::newRow("reader-of-a-read-only-list") << PlaceRow{0555, 0444, M::Shared, true, false};
        QTest::newRow("new-list-where-no-file-can-be-made")
            << PlaceRow{0555, 0, M::Exclusive, false, false, false, EACCES};
        QTest::newRow("read-only-list-where-no-file-can-be-made")
            << PlaceRow{0555, 0444, M::Exclusive, false, false, false, EACCES};
    }
    void lockWherever()
    {
        QFETCH(PlaceRow, row);
        const QString folder = path(u"place"_s);
        const QString list = folder + u"/tools.lst"_s;
        const QString lockFile = folder + u"/.tools.lst.lock"_s;
        QVERIFY(QDir().mkdir(folder));
        if (row.fileMode != 0)
            QVERIFY(
                TestFiles::write(list, "T,A,/a,,0\n")
                && TestFiles::setOwner(list, FilePermissionsApply::nobody, FilePermissionsApply::nobody, row.fileMode));
        if (row.rootsLockFile)
            QVERIFY(TestFiles::write(lockFile, {}) && TestFiles::setOwner(lockFile, ::geteuid(), ::getegid(), 0600));
        // A folder of nobody's, whose permissions bind nobody.
        QVERIFY(
            TestFiles::setOwner(folder, FilePermissionsApply::nobody, FilePermissionsApply::nobody, row.folderMode));
        {
            const FilePermissionsApply permissions;
            const FileLock lock(list, row.mode, moment);
            QVERIFY2(lock.taken().ok() == row.held, qPrintable(failure(lock)));
            QCOMPARE(lock.error(), row.error);
            QCOMPARE(lock.lockFile(), row.onLockFile ? lockFile : QString());
            if (row.held)
                QVERIFY(!FileLock(list, FileLock::Mode::Exclusive, moment).taken());
            else
                QVERIFY2(failure(lock).startsWith(u"cannot lock "_s + list), qPrintable(failure(lock)));
        }
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
    }

    // A lock file a writer left is taken again; one that is not a plain file of its own (a FIFO,
    // a folder, a link that could lead anywhere) is passed over for the list itself.
    void lockFileLeftBefore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<FileLock::Mode>("mode");
        QTest::addColumn<bool>("onLockFile");
        using M = FileLock::Mode;
        QTest::newRow("file-writer") << "file" << M::Exclusive << true;
        QTest::newRow("file-reader") << "file" << M::Shared << true;
        QTest::newRow("fifo-writer") << "fifo" << M::Exclusive << false;
        QTest::newRow("fifo-reader") << "fifo" << M::Shared << false;
        QTest::newRow("folder-reader") << "folder" << M::Shared << false;
        QTest::newRow("link-writer") << "link" << M::Exclusive << false;
    }
    void lockFileLeftBefore()
    {
        QFETCH(QString, kind);
        QFETCH(FileLock::Mode, mode);
        QFETCH(bool, onLockFile);
        const QString list = path(u"dotfiles/tools.lst"_s);
        const QString lockFile = path(u"dotfiles/.tools.lst.lock"_s);
        const QByteArray native = QFile::encodeName(lockFile);
        if (kind == u"file"_s)
            QVERIFY(TestFiles::write(lockFile, {}));
        else if (kind == u"fifo"_s)
            QCOMPARE(::mkfifo(native.constData(), 0666), 0);
        else if (kind == u"folder"_s)
            QVERIFY(QDir().mkdir(lockFile));
        else
            QVERIFY(TestFiles::link(u"tools.lst"_s, lockFile));
        const FileLock lock(list, mode, moment);
        QVERIFY2(lock.taken(), qPrintable(failure(lock)));
        QCOMPARE(lock.lockFile(), onLockFile ? lockFile : QString());
        QVERIFY(anotherWriterWouldWait(list));
    }

    // Where the kernel lacks open file description locks, the process's own locks serve (and
    // conflict with the real ones); where a file system has no locks, a writer learns so. A
    // failure other than an unknown command is not hidden behind the weaker process locks.
    void lockCalls_data()
    {
        QTest::addColumn<FileLock::LockCall>("call");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("lockFile"); // without one, the lock on the file itself decides
        QTest::addColumn<QString>("name");
        const QString list = u"tools.lst"_s;
        QTest::newRow("real") << FileLock::LockCall(nullptr) << 0 << true << list;
        QTest::newRow("without-ofd-locks") << FileLock::LockCall(ofdLocksRefused<EINVAL>) << 0 << true << list;
        QTest::newRow("ofd-locks-failing") << FileLock::LockCall(ofdLocksRefused<ENOLCK>) << ENOLCK << true << list;
        QTest::newRow("without-locks") << FileLock::LockCall(withoutLocks) << ENOLCK << true << list;
        QTest::newRow("without-locks-or-lock-file") << FileLock::LockCall(withoutLocks) << ENOLCK << false << list;
        // Not "no such file": the list is still to be made, and the lock is what failed.
        QTest::newRow("new-list-without-locks") << FileLock::LockCall(withoutLocks) << ENOLCK << true << u"new.lst"_s;
    }
    void lockCalls()
    {
        QFETCH(FileLock::LockCall, call);
        QFETCH(int, error);
        QFETCH(bool, lockFile);
        QFETCH(QString, name);
        const QString list = path(u"dotfiles/"_s + name);
        if (!lockFile)
            QVERIFY(QDir().mkdir(path(u"dotfiles/.tools.lst.lock"_s)));
        const FileLock lock(list, FileLock::Mode::Exclusive, moment, call);
        QCOMPARE(lock.taken().ok(), error == 0);
        QCOMPARE(lock.error(), error);
        QCOMPARE(anotherWriterWouldWait(list), error == 0);
    }

    // A writer replaced the file while another waited for it: the waiter's lock is the new file's.
    void waiterMovesToTheReplacedFile()
    {
        const QString list = path(u"dotfiles/tools.lst"_s);
        // Without a lock file, the lock on the file itself decides.
        QVERIFY(QDir().mkdir(path(u"dotfiles/.tools.lst.lock"_s)));
        auto first = std::make_unique<FileLock>(list, FileLock::Mode::Exclusive, moment);
        QVERIFY(first->taken() && first->lockFile().isEmpty());
        busyAnswers = 0;
        std::unique_ptr<FileLock> waiter;
        std::thread waiting(
            [&] { waiter = std::make_unique<FileLock>(list, FileLock::Mode::Exclusive, 20s, countingBusy); });
        QTRY_VERIFY_WITH_TIMEOUT(busyAnswers > 0, 20000);
        QVERIFY(TestFiles::write(path(u"dotfiles/new"_s), "T,B,/b,,0\n"));
        QVERIFY(QFile::rename(path(u"dotfiles/tools.lst"_s), path(u"dotfiles/old"_s)));
        QVERIFY(QFile::rename(path(u"dotfiles/new"_s), list));
        first.reset();
        waiting.join();
        QVERIFY(waiter->taken());
        QCOMPARE(anotherWriterWouldWait(list), true);
    }

    // A watch moved to a list in another folder: the kernel's word that each old folder's watch
    // has gone (IN_IGNORED) comes first in the queue and hides no change of the new list behind it.
    void watchMovedElsewhereThenChanged()
    {
        FileWatch watch;
        QSignalSpy changed(&watch, &FileWatch::changed);
        watch.watch(path(u"link.lst"_s));
        watch.watch(path(u"dotfiles/lanyard/other.lst"_s));
        QVERIFY(TestFiles::write(path(u"dotfiles/lanyard/other.lst"_s), "T,B,/b,,0\n"));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
    }

    // A list replaced where the watch follows links is told once, and then the watch is quiet
    // again; also where the list is behind a ring of links, each naming the other.
    void watchTellsAReplacedListOnce_data()
    {
        QTest::addColumn<QString>("watched");
        QTest::addColumn<QString>("replaced");
        QTest::newRow("through-a-chain-of-links") << "chain.lst"
                                                  << "dotfiles/tools.lst";
        QTest::newRow("a-ring-of-links") << "ring-a"
                                         << "ring-a";
    }
    void watchTellsAReplacedListOnce()
    {
        QFETCH(QString, watched);
        QFETCH(QString, replaced);
        FileWatch watch;
        QSignalSpy changed(&watch, &FileWatch::changed);
        watch.watch(path(watched));
        QVERIFY(watch.isWatching());
        QVERIFY(replaceWithANewList(path(replaced)));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
        runPastTheWatchSettling();
        QCOMPARE(changed.count(), 1);
    }

    // Another file of the list's folder is written: nothing is told, also when its event follows
    // one of the list's own that an earlier read of the kernel's events held.
    void watchQuietForOtherFiles()
    {
        const QString other = path(u"dotfiles/other.txt"_s);
        QVERIFY(TestFiles::write(other, "a"));
        FileWatch watch;
        QSignalSpy changed(&watch, &FileWatch::changed);
        watch.watch(path(u"dotfiles/tools.lst"_s));
        QVERIFY(TestFiles::write(other, "b") && TestFiles::write(path(u"dotfiles/tools.lst"_s), "T,B,/b,,0\n"));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
        QVERIFY(TestFiles::write(other, "c"));
        runPastTheWatchSettling();
        QCOMPARE(changed.count(), 1);
    }

    // A save removes the temporaries of its file that killed saves left, and nothing else.
    void killedWritersTemporariesRemoved_data()
    {
        QTest::addColumn<LeftoverRow>("row");
        QTest::newRow("temporary") << LeftoverRow{".tools.lst.Ab12Cd", true};
        QTest::newRow("lock-file") << LeftoverRow{".tools.lst.lock", false};
        QTest::newRow("shorter-suffix") << LeftoverRow{".tools.lst.Ab12C", false};
        QTest::newRow("longer-suffix") << LeftoverRow{".tools.lst.Ab12Cde", false};
        QTest::newRow("suffix-with-a-dash") << LeftoverRow{".tools.lst.Ab-2Cd", false};
        QTest::newRow("not-hidden") << LeftoverRow{"tools.lst.Ab12Cd", false};
        QTest::newRow("of-another-file") << LeftoverRow{".tools.ls.Ab12Cd", false};
    }
    void killedWritersTemporariesRemoved()
    {
        QFETCH(LeftoverRow, row);
        const QString list = path(u"dotfiles/tools.lst"_s);
        QVERIFY(TestFiles::write(path(u"dotfiles/"_s) + row.name, "T,X,/x,,0\n"));
        FileWriter writer(path(u"link.lst"_s));
        QVERIFY(writer.open() && writer.write("T,B,/b,,0\n") && writer.commit());
        QCOMPARE(QFile::exists(path(u"dotfiles/"_s) + row.name), !row.removed);
        QCOMPARE(TestFiles::read(list), "T,B,/b,,0\n");
    }

    // Every temporary a writer makes is one that a later save would take for a killed writer's
    // and remove: its suffix is always six letters or digits, whatever the random draw.
    void temporariesKnownForWhatTheyAre()
    {
        const QRegularExpression temporary(u"^\\.tools\\.lst\\.[A-Za-z0-9]{6}$"_s);
        for (int i = 0; i < 200; ++i) {
            FileWriter writer(path(u"dotfiles/tools.lst"_s));
            QVERIFY(writer.open());
            // A QDir of its own each time: a QDir keeps the listing it read first.
            const QStringList made = QDir(path(u"dotfiles"_s), u".tools.lst.*"_s, QDir::Name,
                                          QDir::Files | QDir::Hidden | QDir::System)
                                         .entryList();
            QCOMPARE(made.size(), 1);
            QVERIFY2(temporary.match(made.first()).hasMatch(), qPrintable(made.first()));
        }
    }

    // A host that closed its standard input: descriptor 0 is the first one the next open gets,
    // and it serves a lock, a save or a read like any other.
    void hostWithoutStandardInput_data()
    {
        QTest::addColumn<QString>("use");
        QTest::newRow("new-lock-file") << "new-lock-file";
        QTest::newRow("lock-file-there") << "lock-file-there";
        QTest::newRow("save") << "save";
        QTest::newRow("read") << "read";
    }
    void hostWithoutStandardInput()
    {
        QFETCH(QString, use);
        const QString list = path(u"dotfiles/tools.lst"_s);
        const QString lockFile = path(u"dotfiles/.tools.lst.lock"_s);
        if (use == u"lock-file-there"_s)
            QVERIFY(TestFiles::write(lockFile, {}));
        const int input = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
        QVERIFY(input >= 0);
        ::close(0);
        const auto restore = qScopeGuard([input] {
            ::dup2(input, 0);
            ::close(input);
        });
        if (use == u"read"_s) {
            QCOMPARE(FileListing::head(list, 3), "T,A");
        } else if (use == u"save"_s) {
            FileWriter writer(list);
            const ino_t before = inodeOf(list);
            QVERIFY(writer.open() && writer.write("T,B,/b,,0\n") && writer.commit());
            QCOMPARE(TestFiles::read(list), "T,B,/b,,0\n");
            QVERIFY(inodeOf(list) != before); // replaced, not written in place
            QCOMPARE(QDir(path(u"dotfiles"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"tools.lst"_s});
        } else {
            // A new list has no file of its own to lock yet: only the lock file can be taken.
            const bool newList = use == u"new-lock-file"_s;
            const QString locked = newList ? path(u"dotfiles/new.lst"_s) : list;
            const FileLock lock(locked, newList ? FileLock::Mode::Exclusive : FileLock::Mode::Shared, moment);
            QVERIFY2(lock.taken(), qPrintable(failure(lock)));
            QCOMPARE(lock.lockFile(), newList ? path(u"dotfiles/.new.lst.lock"_s) : lockFile);
        }
    }

    // A list in the root folder (of a container, say): its temporary is made beside it, and
    // what killed writers left there is removed, wherever the current folder is.
    void listInTheRootFolder()
    {
        if (::geteuid() != 0)
            QSKIP("a root folder of its own needs chroot, which needs root");
        const QString root = path(u"root"_s);
        QVERIFY(QDir().mkpath(root + u"/elsewhere"_s));
        QVERIFY(TestFiles::write(root + u"/.tools.lst.Ab12Cd"_s, "T,X,/x,,0\n"));
        const QByteArray nativeRoot = QFile::encodeName(root);
        QCOMPARE(exitStatusOfForked([&] {
                     if (::chroot(nativeRoot.constData()) != 0 || ::chdir("/elsewhere") != 0)
                         return 2;
                     FileWriter writer(u"/tools.lst"_s);
                     return writer.open() && writer.write("T,B,/b,,0\n") && writer.commit() ? 0 : 1;
                 }),
                 0);
        QCOMPARE(TestFiles::read(root + u"/tools.lst"_s), "T,B,/b,,0\n");
        QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList({u"elsewhere"_s, u"tools.lst"_s}));
        QVERIFY(QDir(root + u"/elsewhere"_s)
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    // A new list in a folder that takes no new file: the folder's refusal is the reason given.
    void newListWhereNoFileCanBeMade()
    {
        QVERIFY2(::geteuid() == 0, "a folder that binds the writer needs root to make");
        const QString folder = path(u"dotfiles"_s);
        const unsigned nobody = FilePermissionsApply::nobody;
        QVERIFY(TestFiles::setOwner(folder, nobody, nobody, 0555));
        QString refusal;
        {
            const FilePermissionsApply permissions;
            FileWriter writer(folder + u"/new.lst"_s);
            const Result<void> opened = writer.open();
            refusal = opened ? QString() : opened.error().detail();
        }
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        QCOMPARE(refusal, u"cannot create a file in %1: %2"_s.arg(folder, qt_error_string(EACCES)));
    }

    // A file whose owner or group the writer cannot give a new file is written in place.
    void ownerAndGroupKept_data()
    {
        QTest::addColumn<uid_t>("owner");
        QTest::addColumn<gid_t>("group");
        QTest::addColumn<bool>("inPlace");
        const uid_t nobody = FilePermissionsApply::nobody;
        QTest::newRow("own-file-replaced") << nobody << gid_t(nobody) << false;
        QTest::newRow("another-users-file") << uid_t(4601) << gid_t(nobody) << true;
        QTest::newRow("group-we-are-not-in") << nobody << gid_t(4600) << true;
    }
    void ownerAndGroupKept()
    {
        QFETCH(uid_t, owner);
        QFETCH(gid_t, group);
        QFETCH(bool, inPlace);
        QVERIFY2(::geteuid() == 0, "files of other users need root to make");
        const QString list = path(u"dotfiles/tools.lst"_s);
        QVERIFY(TestFiles::setOwner(list, owner, group, 0666));
        QVERIFY(QFile::setPermissions(path(u"dotfiles"_s), QFileDevice::Permissions(0x7777)));
        const ino_t before = inodeOf(list);
        {
            const FilePermissionsApply permissions;
            FileWriter writer(list);
            QVERIFY(writer.open() && writer.write("T,B,/b,,0\n") && writer.commit());
        }
        QCOMPARE(TestFiles::ownership(list), u"%1:%2:0666"_s.arg(owner).arg(group));
        QCOMPARE(inodeOf(list) == before, inPlace);
        QCOMPARE(TestFiles::read(list), "T,B,/b,,0\n");
        QCOMPARE(QDir(path(u"dotfiles"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"tools.lst"_s});
    }
};

QTEST_GUILESS_MAIN(tst_Files)

#include "tst_files.moc"

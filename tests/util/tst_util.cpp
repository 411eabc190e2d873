// SPDX-License-Identifier: MIT
// The pieces below the catalogue: words, paths, text, numbers, system calls, the lock, the watch, the writer.
#include "common/Files.h"
#include "text/NativeText.h"
#include "util/CommandLine.h"
#include "util/FileListing.h"
#include "util/FileLock.h"
#include "util/FileOps.h"
#include "util/FileWatch.h"
#include "util/FileWriter.h"
#include "util/Uninterrupted.h"
#include "util/UniqueFd.h"
#include "util/VariantOps.h"

#include <QBitArray>
#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto moment = 30ms;
constexpr unsigned nobody = FilePermissionsApply::nobody;

/// Runs @p body in a forked child (which may chroot, change its user or limits): its exit status, or -1.
int exitStatusOfForked(const std::function<int()> &body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ino_t inodeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Lock calls as other kernels and file systems answer them (EINVAL: no open file description locks).
template<int Error>
int ofdLocksRefused(int fd, int command, struct ::flock *lock)
{
    return errno = Error, command == F_OFD_SETLK ? -1 : ::fcntl(fd, command, lock);
}
int withoutLocks(int, int, struct ::flock *) { return errno = ENOLCK, -1; }
std::atomic<int> busyAnswers = 0;
int countingBusy(int fd, int command, struct ::flock *lock)
{
    const int result = ::fcntl(fd, command, lock);
    busyAnswers += result != 0 && (errno == EAGAIN || errno == EACCES);
    return result;
}

/// Descriptor 0 closed while it lives: the next open gets it, as in a host that closed its input.
struct WithoutInput
{
    const int saved = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    WithoutInput() { ::close(0); }
    ~WithoutInput() { ::dup2(saved, 0), ::close(saved); }
};

/// What a lock ends with: held on the lock file or on the list itself, timed out, or an errno.
enum Outcome { onLockFile = 0, onTheList = -1, timedOut = -2 };

/// before: the list's holder (ours or another "program"); folderMode/fileMode: nobody's, and nobody locks.
struct LockRow
{
    const char *before = "", *at = "dotfiles/tools.lst";
    FileLock::Mode mode = FileLock::Mode::Exclusive;
    const char *leftover = "";
    mode_t folderMode = 0, fileMode = 0;
    FileLock::LockCall call = nullptr;
    int outcome = onLockFile;
    bool noInput = false;
};

struct SaveRow
{
    const char *leftover = "";
    bool removed = false;
    uid_t owner = 0, group = 0;
    bool inPlace = false, refused = false, chrooted = false, noInput = false;
};

/// Saves "T,B,/b,,0\n" at @p at; the failure ("open: " when the writer could not begin), empty when saved.
QString writeList(const QString &at)
{
    FileWriter writer(at);
    Result<void> done = writer.open();
    if (!done)
        return u"open: "_s + done.error().detail();
    if (done = writer.write("T,B,/b,,0\n"); done)
        done = writer.commit();
    return done ? QString() : done.error().detail();
}

} // namespace

Q_DECLARE_METATYPE(LockRow)
Q_DECLARE_METATYPE(SaveRow)

class tst_Util : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home; // the test folder with its links resolved

    QString path(const QString &relative) const
    {
        return relative.startsWith(u'/') ? relative : m_home + u'/' + relative;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
        m_home = FileListing::canonicalPath(m_dir->path());
        // A home with its configuration kept in dotfiles, linked into place.
        QVERIFY(QDir().mkpath(path(u"dotfiles/lanyard"_s)) && QDir().mkpath(path(u".config"_s)));
        QVERIFY(TestFiles::write(path(u"dotfiles/tools.lst"_s), "T,A,/a,,0\n"));
        for (const QString &link :
             {u"../dotfiles/lanyard .config/lanyard"_s, u"dotfiles/tools.lst link.lst"_s, u"link.lst chain.lst"_s,
              u"dotfiles/lanyard/new.lst dangling.lst"_s, u"loop loop"_s, u"ring-b ring-a"_s, u"ring-a ring-b"_s})
            QVERIFY(TestFiles::link(link.section(u' ', 0, 0), path(link.section(u' ', 1))));
    }

    void pieces_data();
    void pieces()
    {
        QFETCH(QString, door);
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QString got;
        if (door == u"split") { // "a[b c]d": the bracketed characters are a replacement's
            QString plain;
            QBitArray literal(given.size());
            bool inside = false;
            for (QChar c : given) {
                if (c == u'[' || c == u']')
                    inside = c == u'[';
                else
                    literal.setBit(plain.size(), inside), plain.append(c);
            }
            literal.resize(given.contains(u'[') ? plain.size() : 0);
            const Result<QStringList> split = CommandLine::split(plain, literal);
            got = split.ok() ? split.value().join(u'\n') : u"<refused>"_s;
        } else if (door == u"exists") {
            QVERIFY(QDir(m_home).mkdir("folder") && QDir(m_home).mkdir("tools [beta]"));
            for (const char *name : {"prog", "tools [beta]/run", "back\\slash", "caf\xe9"})
                QVERIFY(::close(::creat((QFile::encodeName(m_home) + '/' + name).constData(), 0600)) == 0);
            QVERIFY(::mkfifo(QFile::encodeName(path(u"fifo"_s)).constData(), 0600) == 0);
            got = FileOps::FileExists(given.isEmpty() || given == u"\"\"" ? given : path(given)) ? u"yes"_s : u"no"_s;
            ::unlink((QFile::encodeName(m_home) + "/caf\xe9").constData()); // a name QTemporaryDir cannot remove
        } else if (door == u"real") {
            got = FileListing::realFile(path(given)).replace(m_home, u"~"_s);
            if (!got.isEmpty() && QFile::exists(path(given))) // the file the kernel opens
                QCOMPARE(inodeOf(FileListing::realFile(path(given))), inodeOf(path(given)));
        } else if (door == u"absolute") {
            const QString before = QDir::currentPath();
            QVERIFY(QDir::setCurrent(m_home));
            got = FileListing::absolutePath(given).replace(m_home, u"~"_s);
            QVERIFY(QDir::setCurrent(before));
        } else {
            got = FileOps::FolderOfPath(given) + u'|' + FileOps::FileBaseName(given);
        }
        QCOMPARE(got, expected);
    }

    // Any bytes survive a QString (U+DCxx for each byte of no UTF-8): each code point beside a bound,
    // written in each length it fits (longer: overlong), and a cut sequence.
    void nativeText()
    {
        for (char32_t code : {0x7fU, 0x80U, 0x7ffU, 0x800U, 0xd7ffU, 0xd800U, 0xdfffU, 0xe000U, 0xfeffU, 0x10000U,
                              0x10ffffU, 0x110000U}) {
            for (int length = 1; length <= 4; ++length) {
                if (length == 1 ? code > 0x7f : code >> (5 * length + 1) != 0)
                    continue;
                QByteArray bytes(1, char(length == 1 ? code : (0xf00 >> length & 0xff) | code >> (6 * length - 6)));
                for (int shift = 6 * length - 12; shift >= 0; shift -= 6)
                    bytes += char(0x80 | (code >> shift & 0x3f));
                const int fits = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
                const bool valid = code <= 0x10ffff && (code < 0xd800 || code > 0xdfff) && length == fits;
                QString text = valid ? QStringView(QChar::fromUcs4(code)).toString() : QString();
                for (qsizetype i = 0; !valid && i < bytes.size(); ++i)
                    text += QChar(0xdc00 + uchar(bytes[i]));
                QCOMPARE(NativeText::decode("a" + bytes + "\xc3"), u'a' + text + QChar(0xdcc3));
                QCOMPARE(NativeText::encode(u'a' + text + QChar(0xdcc3)), "a" + bytes + "\xc3");
            }
        }
        QCOMPARE(NativeText::decode("\xef\xbb\xbf\xe9."), QStringView(u"\xfeff\xdce9.").toString()); // a mark kept
    }

    // Rounded half to even (std::nearbyint), around 0 and each limit; an error: minus its number.
    void toInt16()
    {
        QList<std::pair<QVariant, int>> cases{{qQNaN(), -6},
                                              {true, -1},
                                              {u"True"_s, -1},
                                              {u" FALSE "_s, 0},
                                              {u"Tools"_s, -13}};
        for (int quarters = -12; quarters <= 12; ++quarters) {
            for (double x : {quarters / 4.0, 32767 + quarters / 4.0, -32768 + quarters / 4.0}) {
                const double rounded = std::nearbyint(x);
                const int number = rounded < -32768 || rounded > 32767 ? -6 : int(rounded);
                cases << std::pair{QVariant(x), number} << std::pair{QVariant(QString::number(x, 'f', 2)), number};
            }
        }
        for (const auto &[value, number] : cases) {
            try {
                QCOMPARE(std::pair(value.toString(), int(VariantOps::toInt16(value))),
                         std::pair(value.toString(), number));
            } catch (const ComponentError &error) {
                QCOMPARE(std::pair(value.toString(), -error.number()), std::pair(value.toString(), number));
            }
        }
    }

    // A call cut short by a signal is made again; a descriptor on a standard stream's number moves above.
    void systemCalls()
    {
        for (const auto &[results, errnos] : {std::pair{QList{7}, QList{0}},
                                              {QList{7}, QList{EINTR}},
                                              {QList{0}, QList{EINTR}},
                                              {QList{-1, -1, 3}, QList{EINTR, EINTR, 0}},
                                              {QList{-1}, QList{EAGAIN}},
                                              {QList{-1, -1}, QList{EINTR, EBADF}}}) {
            int made = 0;
            const auto call = [&, &results = results, &errnos = errnos] { // bindings named for older compilers
                return errno = errnos.value(made, 0), results.value(made++, 99);
            };
            const int result = uninterrupted(call);
            QCOMPARE(QList({made, result, errno}), QList({int(results.size()), results.last(), errnos.last()}));
        }
        for (int number : {STDIN_FILENO, STDERR_FILENO, 200}) {
            const UniqueFd saved(::fcntl(number, F_DUPFD_CLOEXEC, 100)); // what the number held, if anything
            const UniqueFd file(::open("/dev/null", O_RDONLY | O_CLOEXEC));
            QVERIFY(::dup2(file.get(), number) == number);
            UniqueFd owned = UniqueFd::aboveStandard(number);
            const int ownedNumber = owned.get();
            const bool moved = ::fcntl(number, F_GETFD) < 0 && ::fcntl(ownedNumber, F_GETFD) == FD_CLOEXEC;
            owned.reset();
            if (saved.isValid())
                ::dup2(saved.get(), number);
            QVERIFY(number > STDERR_FILENO ? ownedNumber == number : ownedNumber > STDERR_FILENO && moved);
        }
        UniqueFd zero(STDIN_FILENO);
        QVERIFY(zero.isValid());
        zero.release(); // standard input stays open
        QVERIFY(!UniqueFd().isValid() && !UniqueFd::aboveStandard(-1).isValid());
    }

    // One lock for every path to a file; the list itself where no lock file serves; a lock not taken holds nothing.
    void lock_data()
    {
        QTest::addColumn<LockRow>("row");
        using M = FileLock::Mode;
        const auto row = [](const char *name, const LockRow &row) { QTest::newRow(name) << row; };
        row("readers-share", {.before = "shared", .at = "link.lst", .mode = M::Shared, .outcome = onTheList});
        row("writer-waits-for-reader", {.before = "shared", .at = "link.lst", .outcome = timedOut});
        row("reader-waits-for-writer",
            {.before = "exclusive", .at = ".config/lanyard/../tools.lst", .mode = M::Shared, .outcome = timedOut});
        row("writers-through-a-link-chain", {.before = "exclusive", .at = "chain.lst", .outcome = timedOut});
        row("list-locked-by-another-program", {.before = "program", .outcome = timedOut});
        row("lock-file-left-writer", {.leftover = "file"});
        row("lock-file-left-reader-without-standard-input", {.mode = M::Shared, .leftover = "file", .noInput = true});
        row("new-lock-file-without-standard-input", {.at = "dotfiles/new.lst", .noInput = true});
        row("fifo-writer", {.leftover = "fifo", .outcome = onTheList});
        row("folder-reader", {.mode = M::Shared, .leftover = "folder", .outcome = onTheList});
        row("link-writer", {.leftover = "link", .outcome = onTheList});
        row("folder-that-cannot-be-listed", {.folderMode = 0300, .fileMode = 0644});
        row("folder-without-room-for-a-lock-file", {.folderMode = 0555, .fileMode = 0666, .outcome = onTheList});
        row("lock-file-of-another-user",
            {.leftover = "roots-file", .folderMode = 0777, .fileMode = 0666, .outcome = onTheList});
        row("reader-of-a-read-only-list",
            {.mode = M::Shared, .folderMode = 0555, .fileMode = 0444, .outcome = onTheList});
        row("new-list-where-no-file-can-be-made", {.at = "dotfiles/new.lst", .folderMode = 0555, .outcome = EACCES});
        row("read-only-list-where-no-file-can-be-made", {.folderMode = 0555, .fileMode = 0444, .outcome = EACCES});
        row("without-ofd-locks", {.call = ofdLocksRefused<EINVAL>});
        // A failure other than an unknown command is not hidden behind the weaker process locks.
        row("ofd-locks-failing", {.call = ofdLocksRefused<ENOLCK>, .outcome = ENOLCK});
        row("without-locks-or-lock-file", {.leftover = "folder", .call = withoutLocks, .outcome = ENOLCK});
        // Not "no such file": the list is still to be made, and the lock is what failed.
        row("new-list-without-locks", {.at = "dotfiles/new.lst", .call = withoutLocks, .outcome = ENOLCK});
    }
    void lock()
    {
        QFETCH(LockRow, row);
        const QString list = path(u"dotfiles/tools.lst"_s), at = path(QString::fromUtf8(row.at));
        const QString lockFile = path(u"dotfiles/."_s + QFileInfo(at).fileName() + u".lock"_s);
        const QByteArray leftover = row.leftover;
        if (leftover.endsWith("file"))
            QVERIFY(TestFiles::write(lockFile, {}) && TestFiles::setOwner(lockFile, 0, 0, 0600));
        else if (!leftover.isEmpty())
            QVERIFY(leftover == "fifo"     ? ::mkfifo(QFile::encodeName(lockFile).constData(), 0666) == 0
                    : leftover == "folder" ? QDir().mkdir(lockFile)
                                           : TestFiles::link(u"tools.lst"_s, lockFile));
        if (row.fileMode != 0)
            QVERIFY(TestFiles::setOwner(at, nobody, nobody, row.fileMode));
        if (row.folderMode != 0)
            QVERIFY(TestFiles::setOwner(path(u"dotfiles"_s), nobody, nobody, row.folderMode));
        const auto restore = qScopeGuard(
            [&] { QFile::setPermissions(path(u"dotfiles"_s), QFile::Permissions(0x7777)); });
        // A folder of nobody's, whose permissions bind nobody.
        const auto permissions = row.folderMode ? std::make_optional<FilePermissionsApply>() : std::nullopt;
        std::optional<FileLock> earlier;
        UniqueFd program(row.before == "program"_ba ? ::open(QFile::encodeName(list).constData(), O_RDWR) : -1);
        struct ::flock whole = {.l_type = F_WRLCK};
        QVERIFY(!program.isValid() || ::fcntl(program.get(), F_OFD_SETLK, &whole) == 0);
        if (*row.before && !program.isValid())
            earlier.emplace(list, row.before == "shared"_ba ? FileLock::Mode::Shared : FileLock::Mode::Exclusive,
                            moment);
        auto closed = row.noInput ? std::make_optional<WithoutInput>() : std::nullopt;
        const FileLock lock(at, row.mode, moment, row.call);
        closed.reset();
        const bool held = row.outcome == onLockFile || row.outcome == onTheList;
        const QString failure = lock.taken() ? QString() : lock.taken().error().detail();
        QVERIFY2(lock.taken().ok() == held, qPrintable(failure));
        QCOMPARE(lock.error(), held ? 0 : row.outcome == timedOut ? EWOULDBLOCK : row.outcome);
        QCOMPARE(lock.timedOut(), row.outcome == timedOut);
        QCOMPARE(lock.lockFile(), row.outcome == onLockFile ? lockFile : QString());
        const QString said = held              ? QString()
                             : lock.timedOut() ? list + u" is locked by another program"_s
                                               : u"cannot lock "_s + FileListing::realFile(at);
        QVERIFY2(failure.startsWith(said), qPrintable(failure));
        earlier.reset();
        program.reset();
        const FileLock other(at, FileLock::Mode::Exclusive, moment);
        QVERIFY(held ? !other.taken() : other.taken() || row.outcome == EACCES);
    }

    // A writer replaced the file while another waited for it: the waiter's lock is the new file's.
    void waiterMovesToTheReplacedFile()
    {
        const QString list = path(u"dotfiles/tools.lst"_s);
        QVERIFY(QDir().mkdir(path(u"dotfiles/.tools.lst.lock"_s))); // the lock on the file itself decides
        auto first = std::make_unique<FileLock>(list, FileLock::Mode::Exclusive, moment);
        QVERIFY(first->taken() && first->lockFile().isEmpty());
        busyAnswers = 0;
        std::unique_ptr<FileLock> waiter;
        std::thread waiting(
            [&] { waiter = std::make_unique<FileLock>(list, FileLock::Mode::Exclusive, 20s, countingBusy); });
        QTRY_VERIFY_WITH_TIMEOUT(busyAnswers > 0, 20000);
        QVERIFY(TestFiles::replace(list, "T,B,/b,,0\n"));
        first.reset();
        waiting.join();
        QVERIFY(waiter->taken() && FileLock(list, FileLock::Mode::Exclusive, moment).timedOut());
    }

    // A change is told once, then nothing; steps "write:" or "replace:" a file; the last watched is followed.
    void watch_data()
    {
        QTest::addColumn<QStringList>("watched");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("replaced-through-a-chain-of-links")
            << QStringList{u"chain.lst"_s} << QStringList{u"replace:dotfiles/tools.lst"_s};
        QTest::newRow("replaced-in-a-ring-of-links") << QStringList{u"ring-a"_s} << QStringList{u"replace:ring-a"_s};
        // The old folders' IN_IGNORED comes first and hides no change of the new list.
        QTest::newRow("moved-elsewhere-then-changed") << QStringList{u"link.lst"_s, u"dotfiles/lanyard/other.lst"_s}
                                                      << QStringList{u"write:dotfiles/lanyard/other.lst"_s};
        // The list's event after another's that an earlier read held.
        QTest::newRow("after-another-file-of-the-folder")
            << QStringList{u"dotfiles/tools.lst"_s}
            << QStringList{u"write:dotfiles/other.txt"_s, u"write:dotfiles/tools.lst"_s};
    }
    void watch()
    {
        QFETCH(QStringList, watched);
        QFETCH(QStringList, steps);
        QVERIFY(TestFiles::write(path(u"dotfiles/other.txt"_s), "a"));
        FileWatch watch;
        QSignalSpy changed(&watch, &FileWatch::changed);
        for (const QString &file : watched)
            watch.watch(path(file));
        QVERIFY(watch.isWatching());
        for (const QString &step : steps) {
            const QString file = path(step.section(u':', 1));
            QVERIFY(step.startsWith(u"write:"_s) ? TestFiles::write(file, "T,B,/b,,0\n")
                                                 : TestFiles::replace(file, "T,B,/b,,0\n"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
        QVERIFY(TestFiles::write(path(u"dotfiles/other.txt"_s), "c"));
        // Ten settling times; timers run out in order, so a late loop hides no change.
        QEventLoop quiet;
        QTimer::singleShot(300, &quiet, &QEventLoop::quit);
        quiet.exec();
        QCOMPARE(changed.count(), 1);
    }

    // A save removes its killed temporaries only; in place where a new file could not keep owner and group.
    void save_data()
    {
        QTest::addColumn<SaveRow>("row");
        const auto row = [](const char *name, const SaveRow &row) { QTest::newRow(name) << row; };
        row("temporary-of-a-killed-writer", {.leftover = ".tools.lst.Ab12Cd", .removed = true});
        for (const char *kept : {".tools.lst.lock", ".tools.lst.Ab12C", ".tools.lst.Ab12Cde", ".tools.lst.Ab-2Cd",
                                 "tools.lst.Ab12Cd", ".tools.ls.Ab12Cd"})
            QTest::addRow("kept-%s", kept) << SaveRow{.leftover = kept};
        row("own-file-replaced", {.owner = nobody, .group = nobody});
        row("another-users-file", {.owner = 4601, .group = nobody, .inPlace = true});
        row("group-we-are-not-in", {.owner = nobody, .group = 4600, .inPlace = true});
        row("new-list-where-no-file-can-be-made", {.refused = true});
        // In a container, say: the temporary is made beside it, wherever the current folder is.
        row("list-in-the-root-folder", {.leftover = ".tools.lst.Ab12Cd", .removed = true, .chrooted = true});
        row("without-standard-input", {.noInput = true});
    }
    void save()
    {
        QFETCH(SaveRow, row);
        const QString folder = path(row.chrooted ? u"root"_s : u"dotfiles"_s), list = folder + u"/tools.lst"_s;
        QVERIFY(QDir().mkpath(folder + u"/elsewhere"_s));
        if (*row.leftover)
            QVERIFY(TestFiles::write(folder + u'/' + QString::fromUtf8(row.leftover), "T,X,/x,,0\n"));
        if (row.owner != 0)
            QVERIFY(TestFiles::setOwner(list, row.owner, row.group, 0666));
        QVERIFY(TestFiles::setOwner(folder, nobody, nobody, row.refused ? 0555 : 0777));
        const ino_t before = inodeOf(list);
        QString refusal;
        if (row.chrooted) {
            const QByteArray root = QFile::encodeName(folder);
            QCOMPARE(exitStatusOfForked([&] {
                         return ::chroot(root.constData()) || ::chdir("/elsewhere")
                                    ? 2
                                    : int(!writeList(u"/tools.lst"_s).isEmpty());
                     }),
                     0);
        } else {
            const auto permissions = row.owner || row.refused ? std::make_optional<FilePermissionsApply>()
                                                              : std::nullopt;
            const auto closed = row.noInput ? std::make_optional<WithoutInput>() : std::nullopt;
            refusal = writeList(row.refused ? folder + u"/new.lst"_s : path(u"link.lst"_s));
            QCOMPARE(FileListing::head(list, 3), row.refused ? "T,A" : "T,B");
        }
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
        QCOMPARE(refusal, row.refused ? u"open: cannot create a file in %1: %2"_s.arg(folder, qt_error_string(EACCES))
                                      : QString());
        if (row.refused)
            return;
        QCOMPARE(TestFiles::read(list), "T,B,/b,,0\n");
        QCOMPARE(inodeOf(list) == before, row.inPlace);
        if (row.owner != 0)
            QCOMPARE(TestFiles::ownership(list), u"%1:%2:0666"_s.arg(row.owner).arg(row.group));
        QStringList expected{u"tools.lst"_s}, files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (*row.leftover && !row.removed)
            expected << QString::fromUtf8(row.leftover);
        files.sort(), expected.sort();
        QCOMPARE(files, expected);
        QVERIFY(QDir(folder + u"/elsewhere"_s)
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    // Every temporary's name, alone in its folder, is one a later save takes for a killed writer's.
    void temporariesKnownForWhatTheyAre()
    {
        for (int i = 0; i < 200; ++i) {
            FileWriter writer(path(u"dotfiles/tools.lst"_s));
            QVERIFY(writer.open());
            const QStringList made =
                QDir(path(u"dotfiles"_s)).entryList({u".tools.lst.*"_s}, QDir::Files | QDir::Hidden);
            QVERIFY(QRegularExpression(uR"(^\.tools\.lst\.[A-Za-z0-9]{6}$)"_s).match(made.join(u'|')).hasMatch());
        }
    }
};

// Outside the class: moc does not read raw string literals. Each door with what goes in and what comes out.
void tst_Util::pieces_data()
{
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const char *door, const QString &given, const QString &expected) {
        QTest::newRow(name) << QString::fromLatin1(door) << given << expected;
    };
    // Command-line words, each on a line of their own.
    row("blanks-separate", "split", "  a\tb \n c  ", "a\nb\nc");
    row("double-quote-escapes", "split", R"("a \" \\ \$ \` \n")", R"(a " \ $ ` \n)");
    row("quotes-join-a-word", "split", R"(--x="a b"'c d'e)", "--x=a bc de");
    row("empty-quotes-are-a-word", "split", R"(a "" '' b)", "a\n\n\nb");
    row("no-expansion", "split", R"($HOME `id` $(id) * ~ ; | &)", "$HOME\n`id`\n$(id)\n*\n~\n;\n|\n&");
    row("open-single-quote", "split", R"(a 'b)", "<refused>");
    row("escaped-quote-does-not-close", "split", R"("a\")", "<refused>");
    // A backslash that ends the text escapes nothing: it stays, or leaves a quote open.
    row("backslash-ends-the-text", "split", R"(a b\)", "a\nb\\");
    row("backslash-ends-an-open-double-quote", "split", R"(a "b\)", "<refused>");
    row("replaced-blank-joins", "split", "--file=[my file] x", "--file=my file\nx");
    row("replaced-quote-does-not-close", "split", "\"x[\"] y\"", "x\" y");
    // Only * and ? are wildcards, only where no file has that name.
    for (const auto &[name, relative, exists] : {std::tuple{"star-when-no-such-name", "pr*g", true},
                                                 {"question-mark-when-no-such-name", "pr?g", true},
                                                 {"brackets-literal", "tools [beta]/run", true},
                                                 {"brackets-no-wildcard", "[p]rog", false},
                                                 {"backslash-literal", "back\\slash", true},
                                                 {"wildcard-of-no-file", "f*", false}, // a folder and a FIFO
                                                 {"missing", "nothing", false},
                                                 {"folder", "folder", false},
                                                 {"nothing", "", false},
                                                 {"quotes-only", "\"\"", false}})
        row(name, "exists", QString::fromUtf8(relative), exists ? u"yes"_s : u"no"_s);
    row("name-of-no-utf-8", "exists", QStringView(u"caf\xdce9").toString(), u"yes"_s);
    // ".." is left to the kernel, which takes it after links; the real file is also a new one's.
    row("dots-and-slashes", "absolute", u"./a//./b"_s, u"~/a/b"_s);
    row("dot-dot-kept", "absolute", u".config/lanyard/../tools.lst"_s, u"~/.config/lanyard/../tools.lst"_s);
    row("folder-dot", "absolute", u"a/."_s, u"~/a/"_s);
    row("dot-dot-after-a-linked-folder", "real", u".config/lanyard/../tools.lst"_s, u"~/dotfiles/tools.lst"_s);
    row("new-file-after-a-linked-folder", "real", u".config/lanyard/../new.lst"_s, u"~/dotfiles/new.lst"_s);
    row("new-file-in-a-linked-folder", "real", u".config/lanyard/new.lst"_s, u"~/dotfiles/lanyard/new.lst"_s);
    row("link-to-a-link", "real", u"chain.lst"_s, u"~/dotfiles/tools.lst"_s);
    row("link-to-a-new-file", "real", u"dangling.lst"_s, u"~/dotfiles/lanyard/new.lst"_s);
    row("missing-folder", "real", u"no/such/tools.lst"_s, QString());
    row("link-loop", "real", u"loop"_s, QString());
    row("nul-in-the-name", "real", u"link.lst\0x"_s, QString()); // the system would read another file's name
    row("new-file-in-the-root-folder", "real", u"/lanyard-no-such-file"_s, u"/lanyard-no-such-file"_s);
    // A folder and a base name; a leading dot is no extension.
    row("root-folder", "name", u"/prog"_s, u"/|prog"_s);
    row("no-folder", "name", u"vi"_s, u"|vi"_s);
    row("hidden", "name", u"/home/me/.tool"_s, u"/home/me/|.tool"_s);
    row("hidden-with-extension", "name", u"/home/me/.tool.sh"_s, u"/home/me/|.tool"_s);
}

QTEST_GUILESS_MAIN(tst_Util)
#include "tst_util.moc"

#include "FileLock.h"

#include "FileListing.h"
#include "text/NativeText.h"

#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

int systemLockCall(int fd, int command, struct ::flock *lock) { return ::fcntl(fd, command, lock); }

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

/// Opened without waiting for a FIFO's other end or taking a terminal, closed on exec.
constexpr int openFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

bool isRegular(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool sameFile(int fd, const QByteArray &path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

/// A new lock file: whoever may write @p file may lock it too (a group-shared file's group).
void shareAsTheFileIs(int fd, const QByteArray &file)
{
    struct stat info {};
    if (::stat(file.constData(), &info) != 0)
        return; // a new file: the usual mode, as the umask makes it
    // Not a member of the file's group: the lock file stays in ours.
    if (::fchown(fd, uid_t(-1), info.st_gid) != 0)
        return;
    ::fchmod(fd, info.st_mode & 0666);
}

} // namespace

FileLock::FileLock(const QString &path, Mode mode, std::chrono::milliseconds patience, LockCall call)
    : m_call(call ? call : systemLockCall)
    , m_mode(mode)
    , m_lockCommand(F_OFD_SETLK)
    , m_deadline(std::chrono::steady_clock::now() + patience)
{
    m_file = FileListing::realFile(path);
    if (m_file.isEmpty())
        m_file = path; // its folder cannot be reached: the opens below say why
    const Outcome beside = lockBeside();
    const int besideError = m_error;
    const QString besideFailure = m_errorString;
    const Outcome itself = beside == Outcome::Busy ? Outcome::Busy : lockTheFile();
    if (itself == Outcome::Busy) {
        timeOut();
        return;
    }
    m_held = beside == Outcome::Held || itself == Outcome::Held;
    if (m_held) {
        fail(QString(), 0);
        return;
    }
    // No file yet: what kept the lock file from us is the reason.
    if (m_error == ENOENT)
        fail(besideFailure, besideError);
    m_lockFd.reset();
    m_lockFileHeld = false;
    m_errorString = u"cannot lock %1: %2"_s.arg(m_file, m_errorString);
}

FileLock::Outcome FileLock::lockBeside()
{
    openLockFile();
    if (!m_lockFd.isValid())
        return Outcome::Failed;
    const Outcome outcome = waitFor(m_lockFd.get());
    if (outcome == Outcome::Failed)
        fail(systemError(errno), errno);
    m_lockFileHeld = outcome == Outcome::Held;
    return outcome;
}

void FileLock::fail(const QString &why, int error)
{
    m_error = error;
    m_errorString = why;
}

void FileLock::timeOut()
{
    m_lockFd.reset();
    m_fileFd.reset();
    m_lockFileHeld = false;
    m_timedOut = true;
    fail(u"%1 is locked by another program"_s.arg(m_file), EWOULDBLOCK);
}

void FileLock::openLockFile()
{
    const QByteArray file = NativeText::encode(m_file);
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray lockFile = file.left(slash + 1) + '.' + file.mid(slash + 1) + ".lock";
    m_lockFile = NativeText::decode(lockFile);
    int fd = -1;
    if (m_mode == Mode::Exclusive) {
        // A link there is not followed: the lock file is ours alone to make.
        fd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | openFlags, 0666);
        if (fd >= 0) {
            shareAsTheFileIs(fd, file);
            m_lockFd.reset(fd);
            return;
        }
        if (errno != EEXIST)
            return fail(u"cannot create %1: %2"_s.arg(m_lockFile, systemError(errno)), errno);
        fd = ::open(lockFile.constData(), O_RDWR | O_NOFOLLOW | openFlags);
    } else {
        // Readers make nothing: where there is no lock file, no writer made the file.
        fd = ::open(lockFile.constData(), O_RDONLY | O_NOFOLLOW | openFlags);
    }
    if (fd < 0)
        return fail(u"cannot open %1: %2"_s.arg(m_lockFile, systemError(errno)), errno);
    m_lockFd.reset(fd);
    if (!isRegular(fd)) {
        m_lockFd.reset();
        fail(u"%1 is not a regular file"_s.arg(m_lockFile), EINVAL);
    }
}

FileLock::Outcome FileLock::lockOne(int fd)
{
    struct ::flock lock {};
    lock.l_type = m_mode == Mode::Shared ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (m_call(fd, m_lockCommand, &lock) == 0)
        return Outcome::Held;
    if (errno == EAGAIN || errno == EACCES || errno == EINTR)
        return Outcome::Busy;
    // A kernel from before open file description locks: the process's own locks.
    if (errno == EINVAL && m_lockCommand == F_OFD_SETLK) {
        m_lockCommand = F_SETLK;
        return lockOne(fd);
    }
    return Outcome::Failed;
}

FileLock::Outcome FileLock::waitFor(int fd)
{
    for (;;) {
        const Outcome outcome = lockOne(fd);
        if (outcome != Outcome::Busy || std::chrono::steady_clock::now() >= m_deadline)
            return outcome;
        // A holder keeps it for one read or write of the file: a short while.
        QThread::msleep(2);
    }
}

FileLock::Outcome FileLock::lockTheFile()
{
    const QByteArray file = NativeText::encode(m_file);
    for (;;) {
        UniqueFd fd(::open(file.constData(), (m_mode == Mode::Shared ? O_RDONLY : O_RDWR) | openFlags));
        if (!fd.isValid()) {
            fail(systemError(errno), errno);
            return Outcome::Failed;
        }
        if (!isRegular(fd.get())) {
            fail(u"it is not a regular file"_s, EINVAL);
            return Outcome::Failed;
        }
        const Outcome outcome = waitFor(fd.get());
        if (outcome == Outcome::Failed)
            fail(systemError(errno), errno);
        if (outcome != Outcome::Held)
            return outcome;
        // Replaced while we waited: the lock that counts is the new file's.
        if (sameFile(fd.get(), file)) {
            m_fileFd = std::move(fd);
            return Outcome::Held;
        }
        if (std::chrono::steady_clock::now() >= m_deadline)
            return Outcome::Busy;
    }
}

} // namespace Lanyard

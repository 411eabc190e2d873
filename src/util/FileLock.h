// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <Lanyard/Result.h>

#include <QString>

#include <chrono>

struct flock;

namespace Lanyard {

/**
 * An advisory lock on a file that is replaced as a whole when it is written, so that the
 * programs that read and write it through this library take turns: readers share it, a writer
 * has it alone. It is held from construction to destruction; waiting for it is bounded by
 * @p patience.
 *
 * It acts on the real file (FileListing::realFile: every symbolic link followed), so that all
 * paths to one file take one lock. It is an fcntl lock (open file description locks, which
 * threads do not share and which Linux also honours on NFS, CIFS and FUSE) on two files in turn:
 * the lock file ".NAME.lock" beside the real file, which a writer creates with the file's group
 * and read-write bits so that whoever may write the file may lock it; then the file itself,
 * when it exists, which is also all there is to lock where the folder takes no new file. A
 * lock on the file is checked to be on the file that the path still names, so that a waiter
 * on a file that a writer replaced moves on to the new one.
 *
 * Why not QLockFile: its lock is a file holding a process id, which a killed writer leaves for
 * the others to judge stale (by the process on this host, by age elsewhere); it has no shared
 * mode for readers and cannot lock a list whose folder takes no new file. The kernel drops an
 * fcntl lock with its holder, whatever ended it.
 */
class FileLock
{
public:
    enum class Mode { Shared, Exclusive };
    /// How a lock is asked of the kernel: fcntl(fd, command, lock). A test plays a file system.
    using LockCall = int (*)(int fd, int command, struct ::flock *lock);

    FileLock(const QString &path, Mode mode, std::chrono::milliseconds patience, LockCall call = nullptr);
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    /// Whether it is held; when not, PathFileAccessError saying why ("cannot lock
    /// /home/me/tools.lst: ...", "/home/me/tools.lst is locked by another program").
    Result<void> taken() const
    {
        return m_held ? Result<void>() : Result<void>(ComponentError(ErrorCode::PathFileAccessError, m_errorString));
    }
    /// Another program held the lock longer than the patience allowed.
    bool timedOut() const { return m_timedOut; }
    /// The errno behind a failure (EWOULDBLOCK after a time-out), which tells kernels and file
    /// systems apart; 0 when held.
    int error() const { return m_error; }
    /// The file it guards: the path after every symbolic link.
    QString file() const { return m_file; }
    /// The lock file beside it, empty when only the file itself is locked.
    QString lockFile() const { return m_lockFileHeld ? m_lockFile : QString(); }

private:
    enum class Outcome { Held, Busy, Failed };

    void openLockFile();
    Outcome lockBeside();
    Outcome lockOne(int fd);
    Outcome waitFor(int fd);
    Outcome lockTheFile();
    void fail(const QString &why, int error);
    void timeOut();

    LockCall m_call;
    Mode m_mode;
    QString m_file;
    QString m_lockFile;
    UniqueFd m_lockFd;
    UniqueFd m_fileFd;
    bool m_lockFileHeld = false;
    bool m_held = false;
    bool m_timedOut = false;
    int m_error = 0;
    QString m_errorString;
    int m_lockCommand = 0;
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace Lanyard

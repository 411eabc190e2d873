// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace Lanyard {

/// How ProcessSpawn::start sets up the new process.
struct SpawnOptions
{
    bool searchPath = false;      ///< a program without "/" is looked up in PATH
    bool newSession = false;      ///< setsid: detached from the host's terminal and group
    bool newProcessGroup = false; ///< its own process group, so it can be ended with its children
    int stdinFd = -1;             ///< -1: /dev/null
    int stdoutFd = -1;            ///< -1: the host's
    int stderrFd = -1;            ///< -1: the host's
    QString workingDirectory;     ///< the program starts there; empty: the host's current one
};

struct SpawnResult
{
    pid_t pid = -1;            ///< -1: none started
    int error = 0;             ///< errno of a failed start (exec errors included); 0 when started
    bool folderFailed = false; ///< the error is the working directory's, not the program's
    bool started() const { return pid != -1; }
};

/**
 * Starts programs with posix_spawn (no shell; cost independent of the host's memory), every
 * descriptor above 2 closed in the child. The program, its arguments and the working directory
 * are native text (NativeText), so their bytes reach the system unchanged; the host's own
 * current directory never changes. The caller reaps the child, for example with ChildReaper.
 * It needs no free descriptor in the host. Thread-safe.
 *
 * Why not QProcess::startDetached: Qt 6.4 forks twice, which takes about 30 ms in a host holding
 * 1 GiB, where posix_spawn's cost does not grow with the host's memory.
 */
class ProcessSpawn
{
public:
    static SpawnResult start(const QString &program, const QStringList &arguments, const SpawnOptions &options);
};

} // namespace Lanyard

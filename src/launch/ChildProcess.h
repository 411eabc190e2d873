// SPDX-License-Identifier: MIT
#pragma once

#include "util/UniqueFd.h"

#include <optional>

#include <sys/types.h>

namespace Lanyard {

/**
 * A process watched through a pidfd: it becomes readable when the process ends. For a child
 * of ours, the number stays ours until the child is reaped, so nothing sent to it meanwhile
 * can reach another process; signals go through the pidfd all the same. Where no pidfd can be
 * had (no descriptor left), the number is used, which stays safe while the child is unreaped.
 *
 * Reentrant: separate objects may be used on separate threads.
 */
class ChildProcess
{
public:
    explicit ChildProcess(pid_t pid);

    pid_t pid() const { return m_pid; }
    /// The pidfd (close-on-exec), or -1 where the system has none.
    int pidfd() const { return m_pidfd.get(); }
    /// True when the end can be waited for through pidfd().
    bool hasPidfd() const { return m_pidfd.isValid(); }

    /// The exit code once a child of ours has ended, without reaping it (128 + the signal
    /// number for a signal); -1 for a process that is not our child or already reaped;
    /// nothing while it runs.
    std::optional<int> exitCode() const;

    /// True when the process is reaped now or cannot be reaped any more (not our child).
    bool tryReap();
    /// Waits for the child's end and reaps it.
    void reap();

    /// Waits up to @p timeoutMs for the end (without a pidfd, looking every 10 ms); true when
    /// it has ended.
    bool waitForEnd(int timeoutMs) const;

    /**
     * Ends a running child of ours, with its process group when it leads one: SIGTERM, then
     * SIGKILL once it has outlived @p graceMs (and to anything of its group left behind).
     * Nothing is sent to a child that has ended, nor to its group, nor to a process that is
     * not an unreaped child of ours; then the result is false.
     */
    bool terminate(int graceMs) const;

    /// Sends @p signalNumber to a running child of ours and to its process group when it
    /// leads one, without waiting; false, with nothing sent, as for terminate.
    bool signalWithGroup(int signalNumber) const;
    /// SIGKILL to whatever is left of the process group that an unreaped child of ours leads,
    /// also after the child's end; nothing for a reaped child or one that leads no group.
    void killGroupLeftovers() const;

private:
    bool signal(int signalNumber) const;

    pid_t m_pid;
    UniqueFd m_pidfd;
};

} // namespace Lanyard

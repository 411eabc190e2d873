// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <sys/types.h>

namespace Lanyard {

/**
 * Reaps launched programs so that none stays a zombie, with or without an event loop and
 * without touching the host's SIGCHLD handling: a thread of its own blocks on the children's
 * pidfds and reaps each child as it ends. Where pidfds or an epoll set cannot be had (no
 * descriptor left, an old kernel) it looks at its children five times a second instead. The
 * thread runs while there are children to reap and a quarter of a second after the last one;
 * then it leaves, holding nothing open.
 *
 * Thread-safe: any thread may launch and watch. A child the host makes with fork() starts with
 * a reaper of its own and leaves the parent's alone, whether it ends with exit() or _exit()
 * or goes on to launch programs.
 */
class ChildReaper
{
public:
    static ChildReaper &instance();

    /// Takes care of reaping @p pid, a child of this process. Any thread may call it.
    void watch(pid_t pid);

    /// Children watched and not yet reaped.
    int pending() const;

    ~ChildReaper();
    ChildReaper(const ChildReaper &) = delete;
    ChildReaper &operator=(const ChildReaper &) = delete;

private:
    ChildReaper();
    static void afterForkInChild();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

#pragma once

#include <memory>

#include <sys/types.h>

namespace Lanyard {

/**
 * Reaps launched programs so that none stays a zombie, with or without an event loop and
 * without touching the host's SIGCHLD handling: a thread of its own blocks on the children's
 * pidfds (where the system has none, it checks them five times a second) and reaps each child
 * as it ends. The thread runs only while there are children to reap, and holds nothing open
 * when there are none.
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

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

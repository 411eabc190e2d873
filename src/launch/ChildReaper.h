#pragma once

#include <memory>

#include <sys/types.h>

namespace Lanyard {

/**
 * Reaps launched programs so that none stays a zombie, with or without an event loop and
 * without touching the host's SIGCHLD handling: a thread of its own, started with the first
 * watch(), blocks on the children's pidfds (where the system has none, it checks them five
 * times a second) and reaps each child as it ends. It is ended with the process.
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
    void run();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

#pragma once

#include <QObject>

#include <memory>

#include <sys/types.h>

namespace Lanyard {

/**
 * Reaps detached children in the event loop so that none stays a zombie, without touching
 * the host's SIGCHLD handling: each child is watched through a pidfd (a QSocketNotifier wakes
 * when it ends). Where pidfds are not available, a slow timer polls the children with
 * waitpid(WNOHANG). Children are also collected on every later watch() call, so even a host
 * that never runs its event loop keeps at most the children of its last launches.
 * Lives on the thread that first uses it, which must be the host's user-interface thread.
 */
class ChildReaper : public QObject
{
    Q_OBJECT

public:
    static ChildReaper &instance();

    /// Takes care of reaping @p pid, a child of this process.
    void watch(pid_t pid);

    /// Children watched and not yet reaped.
    int pending() const;

private:
    ChildReaper();
    ~ChildReaper() override;

    void collect();
    void reap(pid_t pid);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard

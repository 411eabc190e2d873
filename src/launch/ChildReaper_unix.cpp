#include "ChildReaper.h"

#include "ChildProcess.h"
#include "util/UniqueFd.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <vector>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Lanyard {

namespace {

constexpr int pollIntervalMs = 200; // for children without a pidfd
constexpr int eventsPerWait = 16;

/// What one thread of the reaper waits on: the pidfds of the children, added by watch()
/// straight into the epoll set, and a wake-up for the end of the process.
struct WaitSet
{
    UniqueFd epoll{::epoll_create1(EPOLL_CLOEXEC)};
    UniqueFd wake{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};

    WaitSet()
    {
        epoll_event event{};
        event.events = EPOLLIN;
        ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, wake.get(), &event);
    }

    void wakeUp() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake.get(), &one, sizeof one);
    }

    bool add(const ChildProcess &child) const
    {
        epoll_event event{};
        event.events = EPOLLIN;
        return child.pidfd() >= 0 && ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, child.pidfd(), &event) == 0;
    }
};

} // namespace

struct ChildReaper::Private
{
    // Held only to hand children over and to start or leave the thread: a thread that is
    // descheduled while reaping never keeps a launch waiting.
    std::mutex mutex;
    std::vector<std::unique_ptr<ChildProcess>> handedOver;
    std::shared_ptr<WaitSet> wait; ///< the running thread's; none while no thread runs
    bool stopping = false;
    std::atomic<int> pending{0};
    // The thread that runs, or ran last, and the one before it, which has surely left by the
    // time it is joined.
    std::thread current;
    std::thread previous;

    /// The thread: reaps each child as it ends, and leaves when none is left.
    void run(const WaitSet &set);

    /// False when the system has no thread to give.
    bool startThread()
    {
        if (previous.joinable())
            previous.join();
        previous = std::move(current);
        auto set = std::make_shared<WaitSet>();
        try {
            current = std::thread([this, set] { run(*set); });
        } catch (const std::system_error &) {
            return false;
        }
        ::pthread_setname_np(current.native_handle(), "lanyard-reaper");
        wait = std::move(set);
        return true;
    }
};

void ChildReaper::Private::run(const WaitSet &set)
{
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            std::move(handedOver.begin(), handedOver.end(), std::back_inserter(children));
            handedOver.clear();
            if (stopping || children.empty()) {
                // Nothing is left open while there is nothing to reap.
                wait.reset();
                return;
            }
        }
        const bool checks = std::any_of(children.cbegin(), children.cend(),
                                        [](const auto &child) { return child->pidfd() < 0; });
        epoll_event events[eventsPerWait];
        ::epoll_wait(set.epoll.get(), events, eventsPerWait, checks ? pollIntervalMs : -1);
        pending -= int(std::erase_if(children, [](const auto &child) { return child->tryReap(); }));
    }
}

ChildReaper::ChildReaper()
    : d(std::make_unique<Private>())
{
}

ChildReaper::~ChildReaper()
{
    {
        const std::lock_guard lock(d->mutex);
        d->stopping = true;
        if (d->wait)
            d->wait->wakeUp();
    }
    for (std::thread *thread : {&d->previous, &d->current}) {
        if (thread->joinable())
            thread->join();
    }
}

ChildReaper &ChildReaper::instance()
{
    static ChildReaper reaper;
    return reaper;
}

void ChildReaper::watch(pid_t pid)
{
    if (pid <= 0)
        return;
    auto child = std::make_unique<ChildProcess>(pid);
    if (child->tryReap())
        return;
    ++d->pending;
    const std::lock_guard lock(d->mutex);
    if (!d->wait && !d->startThread()) {
        d->handedOver.push_back(std::move(child)); // for the thread of a later launch
        return;
    }
    // The thread waits on the pidfd from now on without being woken for it; a child without
    // one needs the thread's periodic check.
    if (!d->wait->add(*child))
        d->wait->wakeUp();
    d->handedOver.push_back(std::move(child));
}

int ChildReaper::pending() const { return d->pending; }

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#include "ChildReaper.h"

#include "ChildProcess.h"
#include "util/UniqueFd.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include <cerrno>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Lanyard {

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(200); // for children without a pidfd
// How long the thread stays once its last child is reaped: a host that launches again soon (a
// menu clicked twice, a script of launches) finds it waiting instead of paying for a new one.
constexpr auto lingerTime = std::chrono::milliseconds(250);
constexpr int eventsPerWait = 16;

/// What one thread of the reaper waits on: the pidfds of the children, added by watch()
/// straight into the epoll set, and a wake-up. Without descriptors for both the set is not
/// usable, and the thread looks at its children five times a second instead.
struct WaitSet
{
    UniqueFd epoll = UniqueFd::aboveStandard(::epoll_create1(EPOLL_CLOEXEC));
    UniqueFd wake = UniqueFd::aboveStandard(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    bool usable = false;

    // epoll_ctl refuses a descriptor that could not be made (-1), so the set is usable only
    // when both exist.
    WaitSet()
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = wake.get();
        usable = ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, wake.get(), &event) == 0;
    }

    void wakeUp() const
    {
        const std::uint64_t one = 1;
        if (usable) [[maybe_unused]]
            const ssize_t written = ::write(wake.get(), &one, sizeof one);
    }

    bool add(const ChildProcess &child) const
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = child.pidfd();
        // Already there (watch() added it before the thread took it over) counts as added.
        return usable && child.hasPidfd()
               && (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, child.pidfd(), &event) == 0 || errno == EEXIST);
    }

    /// Takes an ended child's pidfd out of the set before it is closed: closing it is not enough
    /// while a host that forked without exec holds a copy, and an ended pidfd left in the set
    /// would wake every wait at once.
    void remove(const ChildProcess &child) const
    {
        if (usable && child.hasPidfd())
            ::epoll_ctl(epoll.get(), EPOLL_CTL_DEL, child.pidfd(), nullptr);
    }

    /// Blocks until a child may have ended or news came, or for @p bound at most; false when
    /// the set cannot wait (then nothing blocked).
    bool waitForNews(std::optional<std::chrono::milliseconds> bound) const
    {
        if (!usable)
            return false;
        epoll_event events[eventsPerWait];
        const int ready = ::epoll_wait(epoll.get(), events, eventsPerWait, bound ? int(bound->count()) : -1);
        if (ready < 0)
            return errno == EINTR;
        // The wake-up is read at once, whoever wrote it, so that it cannot keep the wait busy.
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.fd == wake.get()) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = ::read(wake.get(), &count, sizeof count);
            }
        }
        return true;
    }
};

} // namespace

struct ChildReaper::Private
{
    // Held only to hand children over and to start or leave the thread: a thread that is
    // descheduled while reaping never keeps a launch waiting.
    std::mutex mutex;
    std::condition_variable news; ///< for a thread whose wait set cannot wait
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

    void wakeUp()
    {
        if (wait)
            wait->wakeUp();
        news.notify_all();
    }
};

void ChildReaper::Private::run(const WaitSet &set)
{
    // Each child, and whether its end wakes the set; one that cannot (no pidfd, or no room in
    // the set) is looked at on the timer.
    struct Watched
    {
        std::unique_ptr<ChildProcess> child;
        bool wakesTheSet;
    };
    std::vector<Watched> children;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point busy = Clock::time_point::max();
    Clock::time_point idleSince = busy;
    const auto reapEnded = [&] {
        pending -= int(std::erase_if(children, [&set](const Watched &watched) {
            if (!watched.child->tryReap())
                return false;
            set.remove(*watched.child);
            return true;
        }));
    };
    for (;;) {
        {
            std::unique_lock lock(mutex);
            // Also the children handed over while no thread could start, which no set has seen.
            for (std::unique_ptr<ChildProcess> &child : handedOver) {
                const bool added = set.add(*child);
                children.push_back({std::move(child), added});
            }
            handedOver.clear();
            const Clock::time_point now = Clock::now();
            idleSince = !children.empty() ? busy : std::min(idleSince, now);
            if (stopping || now - idleSince >= lingerTime) {
                // Nothing is left open once there has been nothing to reap for a while.
                wait.reset();
                return;
            }
        }
        const bool idle = idleSince != busy;
        const bool checks = idle || std::any_of(children.cbegin(), children.cend(), [](const Watched &watched) {
                                return !watched.wakesTheSet;
                            });
        // A set that cannot wait, or a wait that fails for any other reason than a signal,
        // sleeps a while instead of spinning.
        if (!set.waitForNews(checks ? std::optional(idle ? lingerTime : pollInterval) : std::nullopt)) {
            std::unique_lock lock(mutex);
            news.wait_for(lock, pollInterval, [this] { return stopping || !handedOver.empty(); });
        }
        reapEnded();
    }
}

ChildReaper::ChildReaper()
    : d(std::make_unique<Private>())
{
    ::pthread_atfork(nullptr, nullptr, &ChildReaper::afterForkInChild);
}

ChildReaper::~ChildReaper()
{
    {
        const std::lock_guard lock(d->mutex);
        d->stopping = true;
        d->wakeUp();
    }
    for (std::thread *thread : {&d->previous, &d->current}) {
        if (thread->joinable())
            thread->join();
    }
}

void ChildReaper::afterForkInChild()
{
    // The parent's reaper is left as the fork found it (its mutex may be held by a thread that
    // is not here), never destroyed: its threads and children are not this process's.
    static std::atomic<Private *> inherited{nullptr}; // kept reachable: no leak checker takes it for a leak
    ChildReaper &reaper = instance();
    inherited.store(reaper.d.release());
    reaper.d = std::make_unique<Private>();
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
        d->wakeUp();
    d->handedOver.push_back(std::move(child));
}

int ChildReaper::pending() const { return d->pending; }

} // namespace Lanyard

#include "ChildReaper.h"

#include "ChildProcess.h"
#include "util/UniqueFd.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Lanyard {

namespace {

constexpr int pollIntervalMs = 200; // for children without a pidfd

} // namespace

struct ChildReaper::Private
{
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<ChildProcess>> children;
    bool running = false; ///< the thread works; it ends, closing wake, when no child is left
    bool stopping = false;
    UniqueFd wake;
    std::thread thread;

    void wakeUp() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake.get(), &one, sizeof one);
    }

    void drainWake() const
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake.get(), &count, sizeof count);
    }

    /// The descriptors to wait on, the wake-up first; the poll time-out.
    std::vector<pollfd> descriptors(int &timeoutMs) const
    {
        std::vector<pollfd> fds{{wake.get(), POLLIN, 0}};
        timeoutMs = -1;
        for (const auto &child : children) {
            if (child->pidfd() >= 0)
                fds.push_back({child->pidfd(), POLLIN, 0});
            else
                timeoutMs = pollIntervalMs;
        }
        return fds;
    }
};

ChildReaper::ChildReaper()
    : d(std::make_unique<Private>())
{
}

ChildReaper::~ChildReaper()
{
    {
        const std::lock_guard lock(d->mutex);
        d->stopping = true;
        if (d->running)
            d->wakeUp();
    }
    if (d->thread.joinable())
        d->thread.join();
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
    const std::lock_guard lock(d->mutex);
    if (child->tryReap())
        return;
    d->children.push_back(std::move(child));
    if (d->running) {
        d->wakeUp();
        return;
    }
    // The last thread has left or is leaving: it takes the mutex no more.
    if (d->thread.joinable())
        d->thread.join();
    d->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    d->running = true;
    d->thread = std::thread([this] { run(); });
    ::pthread_setname_np(d->thread.native_handle(), "lanyard-reaper");
}

int ChildReaper::pending() const
{
    const std::lock_guard lock(d->mutex);
    return int(d->children.size());
}

void ChildReaper::run()
{
    for (;;) {
        int timeoutMs = -1;
        std::vector<pollfd> fds;
        {
            const std::lock_guard lock(d->mutex);
            if (d->stopping || d->children.empty()) {
                // Nothing is left open while there is nothing to reap.
                d->wake.reset();
                d->running = false;
                return;
            }
            fds = d->descriptors(timeoutMs);
        }
        if (::poll(fds.data(), nfds_t(fds.size()), timeoutMs) < 0 && errno != EINTR)
            return;
        d->drainWake();
        const std::lock_guard lock(d->mutex);
        std::erase_if(d->children, [](const std::unique_ptr<ChildProcess> &child) { return child->tryReap(); });
    }
}

} // namespace Lanyard

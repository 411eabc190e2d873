#include "ChildReaper.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <map>
#include <set>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Lanyard {

namespace {

constexpr int pollIntervalMs = 200;

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

/// True when @p pid has been reaped now or can never be (not our child any more).
bool tryReap(pid_t pid)
{
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, WNOHANG);
    } while (result == -1 && errno == EINTR);
    return result != 0;
}

void release(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    notifier->setEnabled(false);
    notifier->deleteLater();
    ::close(fd);
}

} // namespace

struct ChildReaper::Private
{
    std::map<pid_t, QSocketNotifier *> watched; // pidfd notifiers, owned by the reaper
    std::set<pid_t> polled;                     // children without a pidfd
    QTimer pollTimer;
};

ChildReaper::ChildReaper()
    : d(std::make_unique<Private>())
{
    d->pollTimer.setInterval(pollIntervalMs);
    connect(&d->pollTimer, &QTimer::timeout, this, &ChildReaper::collect);
}

ChildReaper::~ChildReaper()
{
    for (auto &[pid, notifier] : d->watched) {
        const int fd = int(notifier->socket());
        delete notifier;
        ::close(fd);
    }
}

ChildReaper &ChildReaper::instance()
{
    // Owned by the application object once there is one, so that it goes before the event
    // dispatcher does; made anew if a later application object is created.
    static QPointer<ChildReaper> reaper;
    if (!reaper)
        reaper = new ChildReaper;
    if (!reaper->parent())
        reaper->setParent(QCoreApplication::instance());
    return *reaper;
}

void ChildReaper::watch(pid_t pid)
{
    collect();
    if (pid <= 0 || tryReap(pid))
        return;
    const bool eventLoop = QAbstractEventDispatcher::instance(thread()) != nullptr;
    const int fd = eventLoop ? openPidfd(pid) : -1;
    if (fd >= 0) {
        auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, pid] { reap(pid); });
        d->watched.emplace(pid, notifier);
        return;
    }
    d->polled.insert(pid);
    if (eventLoop && !d->pollTimer.isActive())
        d->pollTimer.start();
}

int ChildReaper::pending() const { return int(d->watched.size() + d->polled.size()); }

void ChildReaper::reap(pid_t pid)
{
    const auto it = d->watched.find(pid);
    if (it == d->watched.end() || !tryReap(pid))
        return;
    release(it->second);
    d->watched.erase(it);
}

void ChildReaper::collect()
{
    for (auto it = d->watched.begin(); it != d->watched.end();) {
        if (tryReap(it->first)) {
            release(it->second);
            it = d->watched.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = d->polled.begin(); it != d->polled.end();)
        it = tryReap(*it) ? d->polled.erase(it) : std::next(it);
    if (d->polled.empty())
        d->pollTimer.stop();
}

} // namespace Lanyard

#include "ChildReaper.h"

#include "ChildProcess.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <memory>

namespace Lanyard {

namespace {

constexpr int pollIntervalMs = 200;

/// A child and, where there is an event loop and a pidfd, the notifier of its end.
struct Watched
{
    explicit Watched(pid_t pid)
        : child(pid)
    {
    }
    ~Watched()
    {
        if (notifier) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
    }
    Watched(const Watched &) = delete;
    Watched &operator=(const Watched &) = delete;

    ChildProcess child;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace

struct ChildReaper::Private
{
    std::map<pid_t, std::unique_ptr<Watched>> watched;
    QTimer pollTimer; // for children without a notifier
};

ChildReaper::ChildReaper()
    : d(std::make_unique<Private>())
{
    d->pollTimer.setInterval(pollIntervalMs);
    connect(&d->pollTimer, &QTimer::timeout, this, &ChildReaper::collect);
}

ChildReaper::~ChildReaper()
{
    for (auto &[pid, watched] : d->watched)
        watched->notifier.reset();
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
    if (pid <= 0)
        return;
    auto watched = std::make_unique<Watched>(pid);
    if (watched->child.tryReap())
        return;
    const bool eventLoop = QAbstractEventDispatcher::instance(thread()) != nullptr;
    if (eventLoop && watched->child.pidfd() >= 0) {
        watched->notifier = std::make_unique<QSocketNotifier>(watched->child.pidfd(), QSocketNotifier::Read);
        connect(watched->notifier.get(), &QSocketNotifier::activated, this, [this, pid] { reap(pid); });
    } else if (eventLoop && !d->pollTimer.isActive()) {
        d->pollTimer.start();
    }
    d->watched.emplace(pid, std::move(watched));
}

int ChildReaper::pending() const { return int(d->watched.size()); }

void ChildReaper::reap(pid_t pid)
{
    const auto it = d->watched.find(pid);
    if (it != d->watched.end() && it->second->child.tryReap())
        d->watched.erase(it);
}

void ChildReaper::collect()
{
    bool polled = false;
    for (auto it = d->watched.begin(); it != d->watched.end();) {
        if (it->second->child.tryReap()) {
            it = d->watched.erase(it);
        } else {
            polled = polled || !it->second->notifier;
            ++it;
        }
    }
    if (!polled)
        d->pollTimer.stop();
}

} // namespace Lanyard

// Times ExecuteApp of /bin/true next to a bare posix_spawn of it, both in a process that holds
// 1 GiB of touched memory, as a large host does. Every child is reaped. Then, in a host that
// never runs its event loop, how much the process grows over 10,000 more launches
// (execute_no_loop_10k_growth_kb, target: under 1024). First of all, in a host without the
// ballast that forked a helper which ended with exit() while a launched program runs: the host's
// CPU per second of that program's run (forked_host_idle_cpu_ms_per_s, target: at most 0.5).
#include "ProcessStatus.h"
#include "launch/ChildReaper.h"

#include <Lanyard/ExternalApps.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr size_t hostMemory = size_t(1) << 30;
constexpr int launches = 200;
constexpr int rounds = 5;
constexpr int noLoopLaunches = 10'000;

/// The library's reaper works on its own thread: nothing here processes events.
void waitUntilReaped()
{
    while (ChildReaper::instance().pending() > 0)
        QThread::msleep(1);
}

double bareSpawnMs()
{
    char program[] = "/bin/true";
    char *argv[] = {program, nullptr};
    std::vector<pid_t> children;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < launches; ++i) {
        pid_t pid = -1;
        if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0)
            children.push_back(pid);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    for (pid_t pid : children)
        ::waitpid(pid, nullptr, 0);
    return ms;
}

double executeAppMs(ExternalApps &apps)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < launches; ++i)
        apps.ExecuteApp(u"Bench"_s, u"True"_s);
    const double ms = timer.nsecsElapsed() / 1e6;
    waitUntilReaped();
    return ms;
}

/// Launches without processing any event, until every child is reaped; no time limit beyond
/// the launches' own.
void launchWithoutEventLoop(ExternalApps &apps, int count)
{
    for (int i = 0; i < count; ++i)
        apps.ExecuteApp(u"Bench"_s, u"True"_s);
    waitUntilReaped();
}

double processCpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/// CPU milliseconds per second of the host while a launched program runs, after the host
/// forked a helper that ended with exit() (running the static destructors it inherited).
double forkedHostIdleCpuMsPerSecond(ExternalApps &apps)
{
    apps.ExecuteApp(u"Bench"_s, u"Sleep"_s);
    std::fflush(stdout); // the helper's exit() flushes what it inherited
    const pid_t helper = ::fork();
    if (helper == 0)
        std::exit(0);
    ::waitpid(helper, nullptr, 0);
    const double cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(1500);
    const double perSecond = (processCpuMs() - cpuBefore) / (wall.nsecsElapsed() / 1e9);
    waitUntilReaped();
    return perSecond;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Measured in a small host, before the ballast: its memory costs the kernel time of its own.
    double forkedHostIdle = 0;
    {
        ExternalApps sleeper;
        sleeper.AddApp(u"Bench"_s, u"Sleep"_s, u"/bin/sleep"_s, u"2"_s, false);
        forkedHostIdle = forkedHostIdleCpuMsPerSecond(sleeper);
    }
    const std::unique_ptr<char[]> ballast(new char[hostMemory]);
    std::memset(ballast.get(), 1, hostMemory);

    ExternalApps apps;
    apps.AddApp(u"Bench"_s, u"True"_s, u"/bin/true"_s, QString(), false);
    double bare = 1e300;
    double execute = 1e300;
    for (int i = 0; i < rounds; ++i) {
        bare = std::min(bare, bareSpawnMs());
        execute = std::min(execute, executeAppMs(apps));
    }
    std::printf("execute_us %.1f us\n", execute * 1000 / launches);
    std::printf("posix_spawn_us %.1f us\n", bare * 1000 / launches);
    std::printf("execute_ratio_posix_spawn %.2f x\n", execute / bare);

    launchWithoutEventLoop(apps, noLoopLaunches / 10); // warms up what stays for good
    const long before = processStatusKb("VmRSS");
    launchWithoutEventLoop(apps, noLoopLaunches);
    std::printf("execute_no_loop_10k_growth_kb %ld KiB\n", processStatusKb("VmRSS") - before);

    std::printf("forked_host_idle_cpu_ms_per_s %.2f ms/s\n", forkedHostIdle);
    return ballast[hostMemory / 2] == 1 ? 0 : 1;
}

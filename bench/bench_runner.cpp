// Figures of the process runner clsEXE:
//   wait_cpu_percent            CPU time of this process while ShellAndWait waits for `sleep 2`,
//                               as a percentage of the wall time (target: under 2)
//   redirect_64mib_ratio_dd256  time of RedirectDOSEXE capturing 64 MiB of output, divided by
//                               the time `dd bs=256 of=/dev/null` takes to read the same output
//                               in 256-byte reads (target: within 3)
//   wait_idle_cpu_ms_per_s      CPU milliseconds per second while RedirectDOSEXE waits for a
//                               silent command with a time-out (target: under 0.5)
//   start_text_4mib_cpu_ms      CPU time of RedirectDOSEXE for 4 MiB of output before its start
//                               text (target: under 200)
//   runner_threads_4x1000_ok    ShellAndWait("true") calls that returned normally when four
//                               threads, each with its own clsEXE, make 1000 each (target: 4000)
#include "runner/clsEXE.h"

#include <Lanyard/ComponentError.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 OutputBytes = 64LL * 1024 * 1024;

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

double waitCpuPercent()
{
    clsEXE runner;
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    runner.ShellAndWait(u"sleep"_s, u" 2"_s);
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    return (cpuSeconds() - cpuBefore) / wallSeconds * 100;
}

/// CPU milliseconds per second of wall time while RedirectDOSEXE waits for `sleep 2`.
double idleWaitCpuMsPerSecond()
{
    clsEXE runner;
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    runner.RedirectDOSEXE(u"sleep 2"_s, QString(), 60);
    return (cpuSeconds() - cpuBefore) * 1000 / (wall.nsecsElapsed() / 1e9);
}

/// CPU milliseconds of RedirectDOSEXE for 4 MiB of output before the start text; -1 when the
/// text did not come through.
double startTextCpuMs()
{
    clsEXE runner;
    QString delivered;
    QObject::connect(&runner, &clsEXE::RedirOutput, [&delivered](const QString &piece) { delivered += piece; });
    const double cpuBefore = cpuSeconds();
    runner.RedirectDOSEXE(u"sh -c 'head -c 4194304 /dev/zero; echo START; sleep 0.5'"_s, u"start"_s);
    const double cpuMs = (cpuSeconds() - cpuBefore) * 1000;
    return delivered.startsWith(u"START"_s) ? cpuMs : -1;
}

/// Calls that returned normally of four threads' 1000 ShellAndWait("true") each.
int threadsOk()
{
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&ok] {
            for (int run = 0; run < 1000; ++run) {
                try {
                    clsEXE runner;
                    runner.ShellAndWait(u"true"_s);
                    ++ok;
                } catch (const ComponentError &) {
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    return ok;
}

QString producer()
{
    return u"head -c %1 /dev/zero"_s.arg(OutputBytes);
}

/// Seconds RedirectDOSEXE takes for the producer's output, and the bytes it delivered.
double redirectSeconds(qint64 &delivered)
{
    clsEXE runner;
    delivered = 0;
    QObject::connect(&runner, &clsEXE::RedirOutput, [&delivered](const QString &piece) { delivered += piece.size(); });
    QElapsedTimer wall;
    wall.start();
    runner.RedirectDOSEXE(producer());
    return wall.nsecsElapsed() / 1e9;
}

/// Seconds `dd bs=256` takes to read the producer's output from a pipe.
double ddSeconds()
{
    QProcess head;
    QProcess dd;
    head.setStandardOutputProcess(&dd);
    dd.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer wall;
    wall.start();
    head.start(u"head"_s, {u"-c"_s, QString::number(OutputBytes), u"/dev/zero"_s});
    dd.start(u"dd"_s, {u"bs=256"_s, u"of=/dev/null"_s});
    head.waitForFinished(-1);
    dd.waitForFinished(-1);
    return wall.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    print("wait_cpu_percent", waitCpuPercent(), "%");
    print("wait_idle_cpu_ms_per_s", idleWaitCpuMsPerSecond(), "ms/s");
    print("start_text_4mib_cpu_ms", startTextCpuMs(), "ms");
    std::printf("runner_threads_4x1000_ok %d calls\n", threadsOk());
    std::fflush(stdout);

    qint64 delivered = 0;
    const double redirect = redirectSeconds(delivered);
    const double dd = ddSeconds();
    print("redirect_64mib_seconds", redirect, "s");
    print("redirect_64mib_delivered", delivered / 1048576.0, "MiB");
    print("dd256_64mib_seconds", dd, "s");
    print("redirect_64mib_ratio_dd256", redirect / dd, "x");
    return 0;
}

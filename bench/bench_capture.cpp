// SPDX-License-Identifier: MIT
// The run that talks back, against the programs alone:
//   capture_1gib_ratio_cat      1 GiB through cat by startTool into a host that discards it,
//                               against `cat FILE > /dev/null` in the same run (target: <= 1.5)
//   capture_start_ratio_execute time to the first output byte of echo by startTool, against
//                               that of echo started by ExecuteApp on the host's standard
//                               output (target: <= 1.3)
//   capture_peak_rss_growth_mb  the host's resident memory growth while the 1 GiB passes
//                               (target: <= 16)
// The file lives in a temporary folder where 1 GiB fits (the system's, else the current one)
// and goes with it, read once before so that every side reads it from the page cache. Each
// round times cat alone, cat into a bare reading loop and cat by startTool one after the
// other, each from its start to the program's end; a ratio is the median of the rounds' own
// ratios (a loaded machine slows whole rounds), with the best and worst beside it. The CPU
// time that cat and the host spend tells where the time goes whatever else the machine runs.
#include "CpuTime.h"
#include "ProcessStatus.h"
#include "launch/ChildReaper.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 fileSize = qint64(1) << 30;
constexpr int rounds = 7;
constexpr int starts = 200;

/// A temporary folder on a file system with room for the file and some to spare.
std::unique_ptr<QTemporaryDir> roomyFolder()
{
    for (const QString &base : {QDir::tempPath(), QDir::currentPath()}) {
        if (QStorageInfo(base).bytesAvailable() < fileSize + (qint64(512) << 20))
            continue;
        auto folder = std::make_unique<QTemporaryDir>(base + u"/lanyard-bench-XXXXXX"_s);
        if (folder->isValid())
            return folder;
    }
    return nullptr;
}

bool writeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(i * 131 + 7); // not all zeros, not all text
    for (qint64 written = 0; written < fileSize; written += block.size()) {
        if (file.write(block) != block.size())
            return false;
    }
    return file.flush();
}

/// One pass of 1 GiB: its time, and the CPU time that the program and the host spent on it.
struct Pass
{
    double ms = 0;
    double programCpuMs = 0;
    double hostCpuMs = 0;
};

template<typename Body>
Pass timed(Body body)
{
    const double program = cpuMs(RUSAGE_CHILDREN);
    const double host = cpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    body();
    return {double(timer.nsecsElapsed()) / 1e6, cpuMs(RUSAGE_CHILDREN) - program, cpuMs(RUSAGE_SELF) - host};
}

/// Starts cat on @p file with @p actions in a new session, as startTool starts its programs (so
/// that every cat here is scheduled alike, in a group of its own); -1 when it cannot.
pid_t startCat(const QByteArray &file, const posix_spawn_file_actions_t &actions)
{
    char program[] = "/bin/cat";
    char *argv[] = {program, const_cast<char *>(file.constData()), nullptr};
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program, &actions, &attributes, argv, environ) != 0)
        pid = -1;
    ::posix_spawnattr_destroy(&attributes);
    return pid;
}

/// `cat FILE > /dev/null`: the program alone.
Pass catAlone(const QString &path)
{
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const Pass pass = timed([&] {
        const pid_t pid = startCat(QFile::encodeName(path), actions);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    });
    ::posix_spawn_file_actions_destroy(&actions);
    return pass;
}

/// cat FILE into a pipe that the host reads in a tight loop, 1 MiB at a time, without any event
/// loop: the least any host that takes the bytes through a pipe can reach.
Pass catIntoBareReader(const QString &path)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {};
    ::fcntl(ends[0], F_SETPIPE_SZ, 1 << 20);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    const Pass pass = timed([&] {
        const pid_t pid = startCat(QFile::encodeName(path), actions);
        if (pid <= 0)
            return;
        ::close(ends[1]);
        ends[1] = -1;
        while (::read(ends[0], buffer.data(), size_t(buffer.size())) > 0) { }
        ::waitpid(pid, nullptr, 0);
    });
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[0]);
    if (ends[1] >= 0)
        ::close(ends[1]);
    return pass;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// The passes of one kind, a round each.
struct Rounds
{
    std::vector<double> ms;
    std::vector<double> programCpuMs;
    std::vector<double> hostCpuMs;

    void add(const Pass &pass)
    {
        ms.push_back(pass.ms);
        programCpuMs.push_back(pass.programCpuMs);
        hostCpuMs.push_back(pass.hostCpuMs);
    }
    /// Each round's time against that of @p other in the same round.
    std::vector<double> over(const Rounds &other) const
    {
        std::vector<double> ratios;
        for (size_t i = 0; i < ms.size() && i < other.ms.size(); ++i)
            ratios.push_back(ms[i] / other.ms[i]);
        return ratios;
    }
};

/// Runs the entry until it has finished, handing each piece of its output to @p discard.
template<typename Discard>
void runToEnd(ExternalApps &apps, const QString &app, Discard discard)
{
    std::unique_ptr<ToolRun> run(apps.startTool(u"Bench"_s, app));
    QEventLoop loop;
    QObject::connect(run.get(), &ToolRun::standardOutput, run.get(), discard);
    QObject::connect(run.get(), &ToolRun::finished, &loop, &QEventLoop::quit);
    QObject::connect(run.get(), &ToolRun::failedToStart, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Resets the peak resident memory that /proc tells (VmHWM); false where it cannot.
bool resetPeakMemory()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

/// 1 GiB through cat into a host that discards it, and the host's memory growth meanwhile.
struct Capture
{
    Pass pass;
    double growthMb;
};

Capture capture(ExternalApps &apps)
{
    const long before = processStatusKb("VmRSS");
    const bool peakReset = resetPeakMemory();
    qint64 received = 0;
    long sampledPeak = before;
    const Pass pass = timed([&] {
        runToEnd(apps, u"Cat"_s, [&](const QByteArray &bytes) {
            received += bytes.size();
            // Where the peak cannot be reset, a look every 16 MiB.
            if (!peakReset && received % (qint64(16) << 20) < bytes.size())
                sampledPeak = std::max(sampledPeak, processStatusKb("VmRSS"));
        });
    });
    const long peak = peakReset ? processStatusKb("VmHWM") : sampledPeak;
    if (received != fileSize)
        std::fprintf(stderr, "bench_capture: %lld bytes came through, not %lld\n", static_cast<long long>(received),
                     static_cast<long long>(fileSize));
    return {pass, double(std::max(0L, peak - before)) / 1024.0};
}

/// The first output byte of echo by startTool, in milliseconds, the best of the starts.
double firstByteMs(ExternalApps &apps)
{
    double best = 1e9;
    for (int i = 0; i < starts; ++i) {
        QElapsedTimer timer;
        std::optional<double> first;
        timer.start();
        runToEnd(apps, u"Echo"_s, [&](const QByteArray &) {
            if (!first)
                first = double(timer.nsecsElapsed()) / 1e6;
        });
        best = std::min(best, first.value_or(1e9));
    }
    return best;
}

/// The first output byte of echo started with a pipe and read at once, without any event loop:
/// the least any host can reach.
double bareFirstByteMs()
{
    double best = 1e9;
    char program[] = "/bin/echo";
    char word[] = "x";
    char *argv[] = {program, word, nullptr};
    for (int i = 0; i < starts; ++i) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return -1;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        QElapsedTimer timer;
        timer.start();
        pid_t pid = -1;
        char byte = 0;
        if (::posix_spawn(&pid, program, &actions, nullptr, argv, environ) == 0 && ::read(ends[0], &byte, 1) == 1)
            best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[0]);
        ::close(ends[1]);
        ::waitpid(pid, nullptr, 0);
    }
    return best;
}

/// The first output byte of echo started by ExecuteApp, which gives it the host's standard
/// output: a pipe here, read at once. In milliseconds, the best of the starts.
double executeFirstByteMs(ExternalApps &apps)
{
    std::fflush(stdout);
    const int figures = ::dup(STDOUT_FILENO);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    ::dup2(ends[1], STDOUT_FILENO);
    double best = 1e9;
    for (int i = 0; i < starts; ++i) {
        QElapsedTimer timer;
        timer.start();
        char line[2];
        if (apps.ExecuteApp(u"Bench"_s, u"Echo"_s) && ::read(ends[0], line, sizeof line) > 0)
            best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        while (ChildReaper::instance().pending() > 0)
            QThread::msleep(1);
    }
    ::dup2(figures, STDOUT_FILENO);
    ::close(figures);
    ::close(ends[0]);
    ::close(ends[1]);
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::unique_ptr<QTemporaryDir> folder = roomyFolder();
    const QString file = folder ? folder->filePath(u"gibibyte"_s) : QString();
    if (!folder || !writeFile(file)) {
        std::fprintf(stderr, "bench_capture: no room for a 1 GiB file\n");
        return 1;
    }
    ExternalApps apps;
    apps.setShowMissingProgram(false);
    apps.AddApp(u"Bench"_s, u"Cat"_s, u"/bin/cat"_s, u'"' + file + u'"', false);
    apps.AddApp(u"Bench"_s, u"Echo"_s, u"/bin/echo"_s, u"x"_s, false);

    catAlone(file); // into the page cache
    Rounds alone;
    Rounds bareReader;
    Rounds captured;
    double growthMb = 0;
    for (int round = 0; round < rounds; ++round) {
        alone.add(catAlone(file));
        bareReader.add(catIntoBareReader(file));
        const Capture run = capture(apps);
        captured.add(run.pass);
        growthMb = std::max(growthMb, run.growthMb);
    }
    const double execute = executeFirstByteMs(apps);
    const double firstByte = firstByteMs(apps);
    const double bare = bareFirstByteMs();
    const std::vector<double> ratios = captured.over(alone);
    std::printf("capture_1gib_ratio_cat %.2f ratio\n", median(ratios));
    std::printf("capture_1gib_ratio_cat_best %.2f ratio\n", *std::min_element(ratios.begin(), ratios.end()));
    std::printf("capture_1gib_ratio_cat_worst %.2f ratio\n", *std::max_element(ratios.begin(), ratios.end()));
    std::printf("capture_1gib_ms %.0f ms\n", median(captured.ms));
    std::printf("capture_1gib_cat_alone_ms %.0f ms\n", median(alone.ms));
    std::printf("capture_1gib_bare_reader_ms %.0f ms\n", median(bareReader.ms));
    std::printf("capture_1gib_bare_reader_ratio_cat %.2f ratio\n", median(bareReader.over(alone)));
    std::printf("capture_1gib_ratio_bare_reader %.2f ratio\n", median(captured.over(bareReader)));
    std::printf("capture_1gib_cat_alone_cpu_ms %.0f ms\n", median(alone.programCpuMs));
    std::printf("capture_1gib_cat_cpu_ms %.0f ms\n", median(captured.programCpuMs));
    std::printf("capture_1gib_host_cpu_ms %.0f ms\n", median(captured.hostCpuMs));
    std::printf("capture_1gib_bare_reader_cpu_ms %.0f ms\n", median(bareReader.hostCpuMs));
    std::printf("capture_start_ratio_execute %.2f ratio\n", firstByte / execute);
    std::printf("capture_first_byte_ms %.3f ms\n", firstByte);
    std::printf("capture_execute_first_byte_ms %.3f ms\n", execute);
    std::printf("capture_first_byte_bare_ms %.3f ms\n", bare);
    std::printf("capture_peak_rss_growth_mb %.1f MB\n", growthMb);
    return 0;
}

// SPDX-License-Identifier: MIT
// Launching, the capture and the run that talks back in every kind of host (this program with --host NAME).
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ChildReaper.h"
#include "launch/ProcessSpawn.h"
#include "runner/clsEXE.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Lanyard;

namespace {

const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
constexpr double MaxCpuMsPerSecond = 150; // a wait that spins takes most of a core, even on a loaded machine
constexpr int LateMs = 3000;              // how much later than due a wait may end on a loaded machine

const QStringList hosts{"console",    "gui",          "widgets",      "no-app",          "fork-exit",
                        "fork-_exit", "threads",      "no-threads",   "no-descriptors",  "famine-cold",
                        "no-room",    "stdio-closed", "stdin-closed", "sigchld-ignored", "sigchld-handled"};
const QStringList scenarios{"launch", "redirect", "talk-back"};

bool starved(const QString &host) { return host == u"no-descriptors" || host == u"famine-cold" || host == u"no-room"; }

/// When a scenario's wait ends in a host, and what it hands on; "-" when the host cannot run it.
std::pair<int, QString> expected(const QString &host, const QString &scenario)
{
    // launch: the shorter reaped alone, the reaper then asleep, the longer reaped, the host's own child left.
    if (scenario == u"launch")
        return {1000, QString(host == u"famine-cold" ? "0" : "1") + "11" + (host.startsWith(u"sigchld") ? "-" : "7")};
    // Without a descriptor for its pipe the redirect ends quietly at once, and nothing runs.
    if (scenario == u"redirect")
        return starved(host) ? std::pair(0, QString()) : std::pair(1000, "ran abc" + timeoutMessage);
    return {0, host == u"no-app"             ? "-"
               : starved(host)               ? "Too many open files"
               : host.startsWith(u"sigchld") ? "2097152 -1"
                                             : "2097152 0"};
}

QString g_host;
int g_report = -1;              // the host's standard output, which it may close
std::atomic<int> g_stdTaken{0}; // standard descriptors seen open in a host that closed them

bool waitUntil(const std::function<bool()> &done, int ms = 20000)
{
    for (const QDeadlineTimer bound(ms); !done() && !bound.hasExpired(); QThread::msleep(5)) {
        if (QAbstractEventDispatcher::instance())
            QCoreApplication::processEvents();
    }
    return done();
}

bool reaped(pid_t child)
{
    siginfo_t ended{};
    return ::waitid(P_PID, id_t(child), &ended, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
}

/// Whether the reaper sleeps in epoll without a time-out (for epoll_pwait2 the time-out's address).
bool reaperSleepsInEpoll()
{
    for (const QByteArray &task : ProcessCensus::entries("/proc/self/task")) {
        if (ProcessCensus::read("/proc/self/task/" + task + "/comm") != "lanyard-reaper\n")
            continue;
        const QByteArrayList call = ProcessCensus::read("/proc/self/task/" + task + "/syscall").split(' ');
        const qulonglong timeOut = call.value(4).toULongLong(nullptr, 0);
        const long number = call.value(0).toLong();
        return (number == SYS_epoll_pwait && int(timeOut) == -1) || (number == SYS_epoll_pwait2 && timeOut == 0)
#ifdef SYS_epoll_wait
               || (number == SYS_epoll_wait && int(timeOut) == -1)
#endif
            ;
    }
    return false;
}

void handOver(pid_t pid, bool first)
{
    std::optional<DescriptorFamine> famine;
    if (g_host == (first ? u"famine-cold" : u"no-descriptors"))
        famine.emplace();
    rlimit processes{};
    ::getrlimit(RLIMIT_NPROC, &processes);
    const rlimit none{0, processes.rlim_max};
    if (first && g_host == u"no-threads")
        ::setrlimit(RLIMIT_NPROC, &none);
    ChildReaper::instance().watch(pid);
    ::setrlimit(RLIMIT_NPROC, &processes);
}

QString launch(const QString &tag, qint64 &waited)
{
    QElapsedTimer wall;
    wall.start();
    const pid_t own = ::fork();
    if (own == 0)
        ::_exit(7);
    siginfo_t ended{};
    ::waitid(P_PID, id_t(own), &ended, WEXITED | WNOWAIT);
    // No pid that is not a child is watched: waiting for it would reap a child of the host's.
    ChildReaper::instance().watch(0);
    ChildReaper::instance().watch(-1);
    int status = 0;
    const QString ownKept = g_host.startsWith(u"sigchld") ? "-" : ::waitpid(own, &status, 0) == own ? "7" : "0";
    SpawnOptions options;
    options.searchPath = true;
    const pid_t longer = ProcessSpawn::start("sleep", {"30." + tag}, options).pid;
    const pid_t shorter = ProcessSpawn::start("sleep", {"1." + tag}, options).pid;
    handOver(longer, true);
    handOver(shorter, false);
    const bool alone = waitUntil([&] { return reaped(shorter); }) && !reaped(longer);
    waited = wall.elapsed();
    // With the longer still to come the reaper goes to sleep, unless it has no epoll set.
    const bool sleeps = waitUntil(reaperSleepsInEpoll, 20000);
    ::kill(longer, SIGKILL);
    const bool longerReaped = waitUntil([&] { return reaped(longer); });
    return QString::number(alone && sleeps) + QString::number(alone) + QString::number(longerReaped) + ownKept;
}

/// Every descriptor used up in a starved host; in no-room all but 0 (closed) and one more, so
/// that a pipe takes 0 and cannot move above 2.
struct Starved
{
    std::optional<ClosedStandardStreams> input;
    std::optional<DescriptorFamine> famine;
    Starved()
    {
        if (g_host == u"no-room")
            input.emplace(std::initializer_list<int>{STDIN_FILENO});
        if (starved(g_host))
            famine.emplace(g_host == u"no-room" ? 2 : 0);
    }
};

QString talkBack()
{
    ExternalApps apps;
    ExternalApps following; // a followed list's watch, too, keeps no standard descriptor
    QTemporaryDir folder;
    TestFiles::write(folder.filePath("tools.lst"), {});
    following.setEXTFile(folder.filePath("tools.lst"));
    apps.AddApp("T", "Cat", "/bin/cat", {}, false);
    const auto finish = [](ToolRun *run) {
        QEventLoop loop;
        QObject::connect(run, &ToolRun::stateChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        if (run->isRunning())
            loop.exec();
    };
    if (starved(g_host)) // a sanitizer's first look at a type needs a descriptor: it gets it before the famine
        finish(apps.startTool("T", "Cat"));
    auto starving = std::make_unique<Starved>();
    ToolRun *run = apps.startTool("T", "Cat", QByteArray(2 << 20, 'y'));
    starving.reset();
    qsizetype size = 0;
    QObject::connect(run, &ToolRun::standardOutput, [&size](const QByteArray &bytes) { size += bytes.size(); });
    finish(run);
    return run->state() == ToolRun::State::Finished ? QStringLiteral("%1 %2").arg(size).arg(run->exitCode())
                                                    : run->failure();
}

/// What the scenario handed on, and how long it waited (from the last output before a time-out).
std::pair<QString, qint64> runScenario(const QString &name, const QString &tag)
{
    QElapsedTimer wall;
    wall.start();
    QString output;
    qint64 waited = 0;
    if (name == u"launch")
        return {launch(tag, waited), waited};
    if (name == u"talk-back")
        return {talkBack(), wall.elapsed()};
    const Starved starved;
    const QString ran = QDir::tempPath() + "/lanyard-ran-" + tag;
    clsEXE runner;
    qint64 lastPieceMs = 0;
    QObject::connect(&runner, &clsEXE::RedirOutput, [&](const QString &piece) {
        output += piece;
        lastPieceMs = piece == timeoutMessage ? lastPieceMs : wall.elapsed();
    });
    // The command leaves its process group (timeout) and is silent: the time-out ends it all.
    runner.RedirectDOSEXE(
        QStringLiteral(
            "sh -c 'touch %1; printf a; sleep 0.2; printf b; sleep 0.2; printf c; exec timeout 100 sleep 30.%2'")
            .arg(ran, tag),
        {}, 1);
    return {(QFile::remove(ran) ? "ran " : "") + output, wall.elapsed() - lastPieceMs};
}

/// Runs a scenario, in the threads host on a thread without a loop, beside a forked helper in the fork hosts.
void hostScenario(int scenario)
{
    const QString &name = scenarios[scenario];
    const QString tag = QStringLiteral("%1%2%3") // other test runs on the machine look for their own
                            .arg(hosts.indexOf(g_host), 2, 10, QChar(u'0'))
                            .arg(scenario)
                            .arg(::getpid(), 7, 10, QChar(u'0'));
    pid_t helper = -1;
    int hold = -1;
    QTimer forkSoon; // from the loop of the scenario's wait
    forkSoon.setSingleShot(true);
    QObject::connect(&forkSoon, &QTimer::timeout, [&] {
        int ends[2];
        const bool withExit = g_host == u"fork-exit";
        if (::pipe2(ends, O_CLOEXEC) == 0 && (helper = ::fork()) == 0) {
            char byte = 0;
            ::close(ends[1]);
            [[maybe_unused]] const ssize_t got = ::read(ends[0], &byte, 1); // until the scenario is over
            withExit ? std::exit(0) : ::_exit(0);
        }
        ::close(ends[0]);
        hold = ends[1];
    });
    if (g_host.startsWith(u"fork-"))
        forkSoon.start(0);
    std::pair<QString, qint64> run;
    const std::clock_t cpuBefore = std::clock(); // the process's
    QElapsedTimer wall;
    wall.start();
    if (g_host == u"threads" && name != u"talk-back")
        std::jthread([&] { run = runScenario(name, tag); }).join();
    else
        run = runScenario(name, tag);
    // A wait shorter than a second is counted as one: what a start costs is no sign of spinning.
    const double cpuMsPerSecond = double(std::clock() - cpuBefore) * 1e6 / CLOCKS_PER_SEC
                                  / std::max<double>(double(wall.elapsed()), 1000);
    ::close(hold);
    const QStringList markers{"sleep 30." + tag, "timeout 100 sleep 30." + tag, "sleep 1." + tag};
    waitUntil([&markers] { return ProcessCensus::running(markers).isEmpty(); }, 3000);
    waitUntil([] { return ChildReaper::instance().pending() == 0; }, 5000);
    int status = 0;
    const bool helperEnded = helper <= 0 || waitUntil([&] { return ::waitpid(helper, &status, WNOHANG) != 0; }, 30000);
    ::dprintf(g_report, "%s %lld %.1f %d %d %d %d %s\n", qPrintable(name), run.second, cpuMsPerSecond,
              int(ProcessCensus::running(markers).size()), int(ProcessCensus::children().size()),
              helperEnded && status == 0 ? 0 : 1, g_stdTaken.exchange(0),
              run.first.toUtf8().toPercentEncoding().constData());
}

int runHost(int argc, char *argv[])
{
    g_host = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<QCoreApplication> app;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (g_host == u"gui")
        app = std::make_unique<QGuiApplication>(argc, argv);
    else if (g_host == u"widgets")
        app = std::make_unique<QApplication>(argc, argv);
    else if (g_host != u"no-app")
        app = std::make_unique<QCoreApplication>(argc, argv);
    qunsetenv("DISPLAY"); // no window is looked for: the same in every host
    g_report = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    QTimer hostTimer; // wakes the runner's waits now and then
    if (g_host == u"stdio-closed") {
        for (const int fd : {0, 1, 2})
            ::close(fd);
        // Nothing of the library's may keep a standard number the host may open again.
        QObject::connect(&hostTimer, &QTimer::timeout, [] {
            for (const int fd : {0, 1, 2})
                g_stdTaken |= ::fcntl(fd, F_GETFD) == -1 ? 0 : 1 << fd;
        });
        hostTimer.start(10);
    }
    if (g_host == u"stdin-closed")
        ::close(STDIN_FILENO);
    // Root is not bound by the process limit: the host becomes nobody (and may still read its /proc).
    if (g_host == u"no-threads" && ::geteuid() == 0
        && (::setgid(FilePermissionsApply::nobody) != 0 || ::setuid(FilePermissionsApply::nobody) != 0
            || ::prctl(PR_SET_DUMPABLE, 1) != 0))
        return 3;
    struct sigaction action
    {
    };
    action.sa_handler = g_host == u"sigchld-ignored" ? SIG_IGN : [](int) {
        const int savedErrno = errno;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) { }
        errno = savedErrno;
    };
    if (g_host.startsWith(u"sigchld")) // no SA_RESTART: waits see EINTR
        ::sigaction(SIGCHLD, &action, nullptr);
    for (int i = 0; i < int(scenarios.size()); ++i) {
        if (expected(g_host, scenarios[i]).second != u"-")
            hostScenario(i);
    }
    return 0;
}

} // namespace

class tst_HostMatrix : public QObject
{
    Q_OBJECT

    QTemporaryDir m_reports;
    std::map<QString, std::unique_ptr<ChildProcess>> m_hosts;

private Q_SLOTS:
    // The hosts start through the library's spawn, which ThreadSanitizer follows (not QProcess's
    // clone()). A helper forked from a host with threads skips the sanitizers' leak checks: their
    // locks may be held by a thread it did not inherit, and the host's ended threads count as its.
    void initTestCase()
    {
        const QByteArray asanOptions = qgetenv("ASAN_OPTIONS");
        const QByteArray tsanOptions = qgetenv("TSAN_OPTIONS");
        for (const QString &host : hosts) {
            const bool forks = host.startsWith(u"fork-");
            qputenv("ASAN_OPTIONS", forks ? asanOptions + ":detect_leaks=0" : asanOptions);
            qputenv("TSAN_OPTIONS", forks ? tsanOptions + ":report_thread_leaks=0" : tsanOptions);
            const int report = ::open(QFile::encodeName(m_reports.filePath(host)), O_WRONLY | O_CREAT | O_CLOEXEC,
                                      0644);
            SpawnOptions options;
            options.stdoutFd = options.stderrFd = report;
            const SpawnResult started = ProcessSpawn::start(QCoreApplication::applicationFilePath(), {"--host", host},
                                                            options);
            ::close(report);
            QVERIFY(started.started());
            m_hosts[host] = std::make_unique<ChildProcess>(started.pid);
        }
        qputenv("ASAN_OPTIONS", asanOptions);
        qputenv("TSAN_OPTIONS", tsanOptions);
    }

    void matrix_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("scenario");
        for (const QString &host : hosts) {
            for (const QString &scenario : scenarios) {
                if (expected(host, scenario).second != u"-")
                    QTest::addRow("%s/%s", qPrintable(host), qPrintable(scenario)) << host << scenario;
            }
        }
    }
    void matrix()
    {
        QFETCH(QString, host);
        QFETCH(QString, scenario);
        ChildProcess &process = *m_hosts[host];
        if (!process.exitCode() && !process.waitForEnd(120000))
            process.terminate(0);
        const QString text = QString::fromUtf8(TestFiles::read(m_reports.filePath(host)));
        QVERIFY2(process.exitCode() == 0, qPrintable(text));
        // name, waited, cpu, left, children, helper, std, output
        const QString report = text.split(u'\n').filter(QRegularExpression('^' + scenario + ' ')).value(0);
        const QStringList fields = report.split(u' ');
        QVERIFY2(fields.size() == 8, qPrintable(text));
        const auto [dueMs, expectedOutput] = expected(host, scenario);
        QVERIFY2(fields[1].toInt() >= dueMs && fields[1].toInt() <= dueMs + LateMs, qPrintable(report));
        // A reaped child's pidfd stays in the reaper's epoll set while a fork's copy of it is open.
        const bool forkSpins = host.startsWith(u"fork-") && scenario == u"launch";
        if (forkSpins)
            QEXPECT_FAIL("", "the reaper spins once a child is reaped after the host forked", Continue);
        QVERIFY2(fields[2].toDouble() <= MaxCpuMsPerSecond, qPrintable(report));
        QVERIFY2(fields.mid(3, 4) == QStringList({"0", "0", "0", "0"}), qPrintable(report));
        const QString output = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[7].toUtf8()));
        if (forkSpins)
            QEXPECT_FAIL("", "the reaper spins once a child is reaped after the host forked", Continue);
        // On a busy machine the output before a time-out may come later, or in part.
        if (expectedOutput.endsWith(timeoutMessage))
            QVERIFY2(output.endsWith(timeoutMessage)
                         && expectedOutput.startsWith(output.chopped(timeoutMessage.size())),
                     qPrintable(report));
        else
            QCOMPARE(output, expectedOutput);
    }

    void cleanupTestCase()
    {
        for (auto &[host, process] : m_hosts) {
            process->terminate(0);
            process->reap();
        }
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--host") == 0)
        return runHost(argc, argv);
    QCoreApplication app(argc, argv);
    tst_HostMatrix test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostmatrix.moc"

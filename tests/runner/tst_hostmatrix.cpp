// SPDX-License-Identifier: MIT
// Launching and the reaper in every kind of host (this program with --host NAME, all at once).
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ChildReaper.h"
#include "launch/ProcessSpawn.h"

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

constexpr double MaxCpuMsPerSecond = 150; // a wait that spins takes most of a core, even on a loaded machine
constexpr int LateMs = 3000;              // how much later than due a wait may end on a loaded machine

const QStringList hosts{"console",      "gui",          "widgets",         "no-app",         "fork-exit",
                        "fork-_exit",   "threads",      "no-threads",      "no-descriptors", "famine-cold",
                        "stdio-closed", "stdin-closed", "sigchld-ignored", "sigchld-handled"};

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

void hostLaunch()
{
    const QString tag = QStringLiteral("%1%2") // other test runs on the machine look for their own
                            .arg(hosts.indexOf(g_host), 2, 10, QChar(u'0'))
                            .arg(::getpid(), 7, 10, QChar(u'0'));
    pid_t helper = -1;
    int hold = -1;
    QTimer forkSoon; // from the loop of the launch's wait
    forkSoon.setSingleShot(true);
    QObject::connect(&forkSoon, &QTimer::timeout, [&] {
        int ends[2];
        const bool withExit = g_host == u"fork-exit";
        if (::pipe2(ends, O_CLOEXEC) == 0 && (helper = ::fork()) == 0) {
            char byte = 0;
            ::close(ends[1]);
            [[maybe_unused]] const ssize_t got = ::read(ends[0], &byte, 1); // until the launch is over
            withExit ? std::exit(0) : ::_exit(0);
        }
        ::close(ends[0]);
        hold = ends[1];
    });
    if (g_host.startsWith(u"fork-"))
        forkSoon.start(0);
    QString output;
    qint64 waited = 0;
    const std::clock_t cpuBefore = std::clock(); // the process's
    QElapsedTimer wall;
    wall.start();
    if (g_host == u"threads")
        std::jthread([&] { output = launch(tag, waited); }).join();
    else
        output = launch(tag, waited);
    // A wait shorter than a second is counted as one: what a start costs is no sign of spinning.
    const double cpuMsPerSecond = double(std::clock() - cpuBefore) * 1e6 / CLOCKS_PER_SEC
                                  / std::max<double>(double(wall.elapsed()), 1000);
    ::close(hold);
    const QStringList markers{"sleep 30." + tag, "sleep 1." + tag};
    waitUntil([&markers] { return ProcessCensus::running(markers).isEmpty(); }, 3000);
    waitUntil([] { return ChildReaper::instance().pending() == 0; }, 5000);
    int status = 0;
    const bool helperEnded = helper <= 0 || waitUntil([&] { return ::waitpid(helper, &status, WNOHANG) != 0; }, 30000);
    ::dprintf(g_report, "%lld %.1f %d %d %d %d %s\n", waited, cpuMsPerSecond,
              int(ProcessCensus::running(markers).size()), int(ProcessCensus::children().size()),
              helperEnded && status == 0 ? 0 : 1, g_stdTaken.exchange(0), qPrintable(output));
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
    hostLaunch();
    return 0;
}

} // namespace

class tst_HostMatrix : public QObject
{
    Q_OBJECT

    QTemporaryDir m_reports;
    std::map<QString, std::unique_ptr<ChildProcess>> m_hosts;

private Q_SLOTS:
    // Spawned as ThreadSanitizer follows (not QProcess's clone()); a fork of a threaded host skips leak checks.
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
        for (const QString &host : hosts)
            QTest::newRow(qPrintable(host)) << host;
    }
    void matrix()
    {
        QFETCH(QString, host);
        ChildProcess &process = *m_hosts[host];
        if (!process.exitCode() && !process.waitForEnd(120000))
            process.terminate(0);
        const QString text = QString::fromUtf8(TestFiles::read(m_reports.filePath(host))).trimmed();
        QVERIFY2(process.exitCode() == 0, qPrintable(text));
        const QString report = text.section(u'\n', -1);
        // waited, cpu, left, children, helper, std, and launch()'s story
        const QStringList fields = report.split(u' ');
        QVERIFY2(fields.size() == 7, qPrintable(report));
        QVERIFY2(fields[0].toInt() >= 1000 && fields[0].toInt() <= 1000 + LateMs, qPrintable(report));
        QVERIFY2(fields[1].toDouble() <= MaxCpuMsPerSecond, qPrintable(report));
        QVERIFY2(fields.mid(2, 4) == QStringList({"0", "0", "0", "0"}), qPrintable(report));
        QCOMPARE(fields[6],
                 QString(host == u"famine-cold" ? "0" : "1") + "11" + (host.startsWith(u"sigchld") ? "-" : "7"));
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

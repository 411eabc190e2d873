// SPDX-License-Identifier: MIT
// The process runner and STUB16.EXE, with real processes: what they wait for, what they hand
// on, and that they end what they started, and only that. Time-outs, cancels and kills run on
// the computer's clock; a clock of the tests' (FastClock) reaches midnight and long waits.
#include "FastClock.h"
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/Forked.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ChildReaper.h"
#include "launch/ProcessSpawn.h"
#include "runner/WindowFinder.h"
#include "runner/clsEXE.h"

#include <Lanyard/ComponentError.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace Lanyard;

namespace {

const QString talkerPath = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");
const QString talker = u'"' + talkerPath + u'"'; // in a command line: the checkout's path may hold blanks
const QString stubProgram = QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE");
const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
/// Digits that make a sleeper's command line unique on the machine: other test runs may have
/// sleepers of their own.
const QString unique = QStringLiteral("%1").arg(::getpid(), 7, 10, QChar(u'0'));

QString digits(int size)
{
    QString text;
    for (int i = 0; i < size; ++i)
        text += QChar(u'0' + i % 10);
    return text;
}

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

bool isRunning(const QString &marker) { return !ProcessCensus::running(marker).isEmpty(); }

/// Whether the reaper's thread sleeps in an epoll wait without a time-out: it is found by its
/// name, and the kernel tells the system call a sleeping thread is in, with its arguments.
bool reaperSleepsInEpoll()
{
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (TestFiles::read("/proc/self/task/" + task + "/comm") != "lanyard-reaper\n")
            continue;
        const QList<QByteArray> call = TestFiles::read("/proc/self/task/" + task + "/syscall").split(' ');
        const long number = call.value(0).toLong();
        // The fourth argument: the time-out in milliseconds (-1: none), or for epoll_pwait2 the
        // address of one (null: none).
        const qulonglong timeOut = call.value(4).toULongLong(nullptr, 0);
#ifdef SYS_epoll_wait
        if (number == SYS_epoll_wait)
            return int(timeOut) == -1;
#endif
#ifdef SYS_epoll_pwait2
        if (number == SYS_epoll_pwait2)
            return timeOut == 0;
#endif
        return number == SYS_epoll_pwait && int(timeOut) == -1;
    }
    return false;
}

/// Runs RedirectDOSEXE; the RedirOutput pieces joined, each checked to be at most 256 long.
QString redirect(clsEXE &runner, const QString &command, const QString &startText = {}, qint32 timeOut = 0,
                 qsizetype *pieceCount = nullptr)
{
    QStringList pieces;
    QObject collector;
    QObject::connect(&runner, &clsEXE::RedirOutput, &collector, [&pieces](const QString &piece) {
        pieces << piece;
        QVERIFY(piece.size() <= 256);
    });
    // A runner that misses the command's end fails the test instead of hanging it.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &runner, &clsEXE::Cancel);
    watchdog.start(20000);
    runner.RedirectDOSEXE(command, startText, timeOut);
    if (pieceCount)
        *pieceCount = pieces.size();
    return pieces.join(QString());
}

std::unique_ptr<QWidget> shownWindow(const QString &title)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(title);
    window->resize(160, 60);
    window->show();
    return window;
}

// fast: on a fast clock (100 times fast for waits, 10 for commands), else on the computer's.
struct WaitRow
{
    bool dos = false;
    QString seconds;
    int timeOut = 0;
    bool fast = false;
    int minMs = 0;
};
struct RedirectRow
{
    QString command, expected, startText;
    int timeOut = 0;
    bool fast = false;
    int minMs = 0;
};
struct StubRow
{
    QStringList arguments;
    int exitCode = 0;
    QByteArray out, err;
    /// The stub's descriptor limit, with only the standard ones open; none when 0. One above what
    /// the stub gets to open: a sanitizer's runtime needs one at the exit.
    rlim_t descriptors = 0;
    /// Standard output and error the same pipe (then err is empty).
    bool merged = false;
    /// Standard output a pipe whose reader has gone (then out is empty).
    bool readerGone = false;
};

struct StartErrorRow
{
    QString program, commandLine;
    int shellError = 0, dosError = 0;
};
struct EndRow
{
    QString when, command;
    int timeOut = 0;
    QString output;
    bool stillRequested = false;
};
struct TitleRow
{
    QString title, searched;
    bool found = false;
};
struct WindowRow
{
    QString folder, arguments;
    int timeOut = 0, maxMs = 0;
};

/// A child of ours that runs until @p go closes.
pid_t childUntilClosed(const int go[2])
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(go[1]);
        char got = 0;
        ::_exit(int(::read(go[0], &got, 1)));
    }
    return child;
}

/// True when @p child of this process has been reaped: its number is no child's any more.
bool reaped(pid_t child)
{
    siginfo_t ended{};
    return ::waitid(P_PID, id_t(child), &ended, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
}

/// True once @p child is reaped, within ten seconds, without an event loop.
bool reapedSoon(pid_t child)
{
    const QDeadlineTimer bound(10000);
    while (!reaped(child) && !bound.hasExpired())
        ::usleep(10000);
    return reaped(child);
}

/**
 * Run in a forked host: its user reaches the process limit, so the reaper gets no thread for
 * the first child it is given; the thread of the next launch, once the limit allows it, reaps
 * both, also when the first ends last. The exit code names the step that failed.
 */
int handOverWithoutThreads()
{
    int goFirst[2], goSecond[2];
    if (::pipe(goFirst) != 0)
        return 10;
    const pid_t first = childUntilClosed(goFirst);
    ::close(goFirst[0]);
    // The second child holds the first one's pipe open too, until it ends.
    if (::pipe(goSecond) != 0)
        return 10;
    const pid_t second = childUntilClosed(goSecond);
    ::close(goSecond[0]);
    if (first <= 0 || second <= 0)
        return 11;
    // Root is not bound by the process limit: the host becomes nobody.
    if (::geteuid() == 0
        && (::setgid(FilePermissionsApply::nobody) != 0 || ::setuid(FilePermissionsApply::nobody) != 0))
        return 12;
    rlimit processes{};
    if (::getrlimit(RLIMIT_NPROC, &processes) != 0)
        return 13;
    const rlim_t allowed = processes.rlim_cur;
    processes.rlim_cur = 0;
    if (::setrlimit(RLIMIT_NPROC, &processes) != 0)
        return 14;
    ChildReaper::instance().watch(first);
    if (ChildReaper::instance().pending() != 1)
        return 15;
    processes.rlim_cur = allowed;
    if (::setrlimit(RLIMIT_NPROC, &processes) != 0)
        return 16;
    ChildReaper::instance().watch(second);
    ::close(goSecond[1]);
    if (!reapedSoon(second))
        return 17;
    ::close(goFirst[1]);
    return reapedSoon(first) ? 0 : 18;
}

} // namespace

Q_DECLARE_METATYPE(WaitRow)
Q_DECLARE_METATYPE(RedirectRow)
Q_DECLARE_METATYPE(StubRow)
Q_DECLARE_METATYPE(StartErrorRow)
Q_DECLARE_METATYPE(EndRow)
Q_DECLARE_METATYPE(TitleRow)
Q_DECLARE_METATYPE(WindowRow)

class tst_Runner : public QObject
{
    Q_OBJECT

    int m_descriptorsAtStart = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "runs on an X display (xvfb-run)");
        {
            // Qt opens descriptors of its own with the first window; they are not the runner's.
            const auto warmUp = shownWindow("Lanyard warm-up");
            QVERIFY(QTest::qWaitForWindowExposed(warmUp.get()));
        }
        QCoreApplication::processEvents();
        m_descriptorsAtStart = ProcessCensus::openDescriptors();
    }
    void cleanup() { QCOMPARE(ProcessCensus::children(), QStringList()); }
    void cleanupTestCase() { QCOMPARE(ProcessCensus::openDescriptors(), m_descriptorsAtStart); }

    void startErrors_data()
    {
        QTest::addColumn<StartErrorRow>("row");
        QTest::newRow("missing-program") << StartErrorRow{"/nonexistent/program", "", 53, 53};
        QTest::newRow("not-executable") << StartErrorRow{LANYARD_SOURCE_DIR "/CMakeLists.txt", "", 53, 53};
        QTest::newRow("open-quote") << StartErrorRow{"sleep", " '1", 5, 5};
        QTest::newRow("nothing-to-run") << StartErrorRow{"", " ", 5, 5};
        QTest::newRow("interpreter-without-drive-path") << StartErrorRow{"COMMAND.COM", " /C ZIP.EXE", 53, 5};
        QTest::newRow("cmd-with-drive-path") << StartErrorRow{"cmd.exe", " /C C:\\TOOLS\\ZIP.EXE", 53, 53};
    }
    void startErrors()
    {
        QFETCH(StartErrorRow, row);
        clsEXE runner;
        for (const bool dos : {false, true}) {
            try {
                dos ? runner.ShellDOSEXE(row.program, row.commandLine)
                    : runner.ShellAndWait(row.program, row.commandLine);
                QFAIL("no error");
            } catch (const ComponentError &error) {
                QCOMPARE(error.number(), dos ? row.dosError : row.shellError);
            }
        }
    }

    // Until the program ends or the time-out passes, while the host's timers keep running (the
    // time-outs on the computer's clock in every kind of host: tst_hostmatrix).
    void waitsForTheEndOrTheTimeOut_data()
    {
        QTest::addColumn<WaitRow>("row");
        QTest::newRow("shell-to-the-end") << WaitRow{false, " 0.4", 0, false, 390};
        QTest::newRow("dos-time-out") << WaitRow{true, " 30", 1, false, 1000};
        // On the fast clock ten seconds are a tenth of a real one.
        QTest::newRow("dos-long-time-out") << WaitRow{true, " 30", 10, true, 85};
        QTest::newRow("dos-negative-stops-at-once") << WaitRow{true, " 30", -1, true, 0};
    }
    void waitsForTheEndOrTheTimeOut()
    {
        QFETCH(WaitRow, row);
        clsEXE runner;
        std::shared_ptr<FastClock> clock;
        if (row.fast) {
            clock = std::make_shared<FastClock>(100);
            runner.setClock(clock);
        }
        int ticks = 0;
        QTimer host;
        connect(&host, &QTimer::timeout, [&ticks] { ++ticks; });
        host.start(10);
        QElapsedTimer elapsed;
        elapsed.start();
        row.dos ? runner.ShellDOSEXE("sleep", row.seconds, row.timeOut)
                : runner.ShellAndWait("sleep", row.seconds, row.timeOut);
        QVERIFY2(elapsed.elapsed() >= row.minMs && elapsed.elapsed() < 5000,
                 qPrintable(QString::number(elapsed.elapsed())));
        // Over a real second or so, now and then; a fast row's tenth of a second may pass in one
        // slice of a busy machine.
        QVERIFY2(row.fast || ticks >= row.minMs / 100, "the host's timer runs while waiting");
        if (row.dos && row.timeOut > 0 && clock) {
            // Stopped only once past the deadline; how soon after is the real bound's (a busy
            // machine's milliseconds are seconds on this clock).
            QVERIFY2(clock->lastReading() > row.timeOut, qPrintable(QString::number(clock->lastReading())));
        }
    }

    // A host quitting (its last window closed) during a wait neither cuts the wait short nor
    // makes it spin.
    void waitsWhileTheHostQuits()
    {
        QTimer::singleShot(0, this, [] {
            QCoreApplication::quit();
            for (const int operation : {0, 1, 2}) {
                QElapsedTimer elapsed;
                elapsed.start();
                const double cpuBefore = threadCpuMs();
                if (operation == 0)
                    clsEXE().ShellAndWait("sleep", " 1", 10);
                else if (operation == 1)
                    clsEXE().ShellDOSEXE("sleep", " 1", 10);
                else
                    clsEXE().RedirectDOSEXE(talker + " sleep:1000", QString(), 10);
                const double cpuMs = threadCpuMs() - cpuBefore;
                QVERIFY2(elapsed.elapsed() >= 950 && cpuMs < 100, qPrintable(QString::number(cpuMs)));
            }
        });
        QCoreApplication::exec();
    }

    // KillProcess signals only the program a wait of the runner's started.
    void killProcess_data()
    {
        QTest::addColumn<QString>("target"); // only the waited program is ended
        QTest::newRow("the-waited-program") << "waited";
        QTest::newRow("a-program-started-otherwise") << "other";
        QTest::newRow("init") << "init";
        QTest::newRow("zero") << "zero";
    }
    void killProcess()
    {
        QFETCH(QString, target);
        const bool killed = target == u"waited";
        SpawnOptions options;
        options.searchPath = true;
        ChildProcess other(ProcessSpawn::start("sleep", {"30"}, options).pid);
        std::optional<bool> result;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            const pid_t waited = ProcessCensus::running("sleep 31.5" + unique).value(0);
            if (waited == 0)
                return;
            poll.stop();
            const QHash<QString, pid_t> pids{{"waited", waited}, {"other", other.pid()}, {"init", 1}, {"zero", 0}};
            result = clsEXE::KillProcess(pids.value(target));
            if (!*result)
                ::kill(waited, SIGKILL); // ends the wait that was not ended for us
        });
        poll.start(10);
        QElapsedTimer elapsed;
        elapsed.start();
        clsEXE().ShellAndWait("sleep", " 31.5" + unique, 60);
        QVERIFY(elapsed.elapsed() < 20000);
        QCOMPARE(result, std::optional(killed));
        QVERIFY(!other.exitCode().has_value()); // nothing reached it
        QVERIFY(other.terminate(0));
        other.reap();
    }

    // A host's thread that gets signals while KillProcess waits out the program's grace: the
    // wait goes on through them, and the program that cleans up on SIGTERM finishes doing so.
    void killProcessGraceOutlastsSignals()
    {
        QTemporaryDir dir;
        const QString cleaned = dir.filePath("cleaned");
        const QString script = QStringLiteral(" -c ': 52.%1; trap \"sleep 0.1; echo done >%2; exit 0\" TERM; "
                                              "echo >%3; while :; do sleep 0.05; done'")
                                   .arg(unique, cleaned, dir.filePath("ready"));
        struct sigaction noted
        {
        };
        noted.sa_handler = [](int) {};
        ::sigemptyset(&noted.sa_mask); // no SA_RESTART: the wait sees EINTR
        struct sigaction previous
        {
        };
        QCOMPARE(::sigaction(SIGUSR1, &noted, &previous), 0);
        const pthread_t waiting = ::pthread_self();
        std::atomic<bool> interrupting = false;
        std::atomic<bool> done = false;
        std::thread signaller([&] {
            while (!done) {
                if (interrupting)
                    ::pthread_kill(waiting, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        std::optional<bool> result;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            const pid_t shell = ProcessCensus::running("sh -c : 52." + unique).value(0);
            if (shell == 0 || !QFile::exists(dir.filePath("ready")))
                return;
            poll.stop();
            interrupting = true;
            result = clsEXE::KillProcess(shell);
            interrupting = false;
        });
        poll.start(10);
        clsEXE().ShellAndWait("sh", script, 60);
        done = true;
        signaller.join();
        ::sigaction(SIGUSR1, &previous, nullptr);
        QCOMPARE(result, std::optional(true));
        QCOMPARE(TestFiles::read(cleaned), QByteArray("done\n"));
    }

    // A child that ignores SIGTERM gets SIGKILL once its grace is over, whether it leads a
    // process group or shares ours (then nothing is sent to our group).
    void terminateOutlastsAnIgnoredTerm_data()
    {
        QTest::addColumn<bool>("leadsGroup");
        QTest::newRow("leads-its-group") << true;
        QTest::newRow("shares-our-group") << false;
    }
    void terminateOutlastsAnIgnoredTerm()
    {
        QFETCH(bool, leadsGroup);
        int ready[2];
        QCOMPARE(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) { // only calls that are safe after a fork of a threaded process
            ::signal(SIGTERM, SIG_IGN);
            if (leadsGroup)
                ::setsid();
            const char one = 1;
            if (::write(ready[1], &one, 1) == 1)
                for (;;)
                    ::pause();
            ::_exit(1);
        }
        QVERIFY(pid > 0);
        ::close(ready[1]);
        char got = 0;
        const ssize_t readyRead = ::read(ready[0], &got, 1);
        ::close(ready[0]);
        ChildProcess child(pid);
        const auto reap = qScopeGuard([&] {
            ::kill(pid, SIGKILL); // unreaped, the number is still our child's
            child.reap();
        });
        QCOMPARE(readyRead, 1);
        QVERIFY(child.terminate(50));
        QVERIFY(child.waitForEnd(10000));
        QCOMPARE(child.exitCode(), std::optional(128 + SIGKILL));
    }

    // While its children have pidfds the reaper's thread sleeps until one ends: it does not look
    // at them on a timer.
    void reaperSleepsUntilAChildEnds()
    {
        SpawnOptions options;
        options.searchPath = true;
        const pid_t sleeper = ProcessSpawn::start("sleep", {"33." + unique}, options).pid;
        QVERIFY(sleeper > 0);
        ChildReaper::instance().watch(sleeper);
        const bool sleeps = QTest::qWaitFor(reaperSleepsInEpoll, 10000);
        ::kill(sleeper, SIGKILL);
        QVERIFY(sleeps);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning("sleep 33." + unique), 10000);
    }

    // A child handed over while no descriptor is left has no pidfd: the sleeping thread is woken
    // to look at it, and reaps it once it ends, while the other child still runs.
    void reaperWokenForAChildWithoutPidfd()
    {
        SpawnOptions options;
        options.searchPath = true;
        const pid_t sleeper = ProcessSpawn::start("sleep", {"34." + unique}, options).pid;
        QVERIFY(sleeper > 0);
        const auto endSleeper = qScopeGuard([&] { ::kill(sleeper, SIGKILL); });
        ChildReaper::instance().watch(sleeper);
        QVERIFY(QTest::qWaitFor(reaperSleepsInEpoll, 10000));
        int go[2];
        QCOMPARE(::pipe(go), 0);
        const pid_t waiting = childUntilClosed(go);
        ::close(go[0]);
        QVERIFY(waiting > 0);
        {
            const DescriptorFamine famine;
            ChildReaper::instance().watch(waiting);
        }
        ::close(go[1]); // now it ends
        QTRY_VERIFY_WITH_TIMEOUT(reaped(waiting), 10000);
        QVERIFY(!reaped(sleeper));
        ::kill(sleeper, SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(reaped(sleeper), 10000); // before the census of children after the test
    }

    // A host that may start no thread when it hands a child over: nothing breaks, and the
    // child is reaped by the thread of the next launch.
    void reaperWithoutThreads() { QCOMPARE(exitStatusOfForked(handOverWithoutThreads), 0); }

    // A reaper whose thread starts while no descriptor is left has no epoll set: it looks at
    // its children five times a second, and reaps each as it ends.
    void reaperWithoutDescriptors()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ChildReaper::instance().pending(), 0, 10000); // no thread runs
        int go[2];
        QCOMPARE(::pipe(go), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < 2; ++i) {
            const pid_t child = childUntilClosed(go);
            QVERIFY(child > 0);
            children.push_back(child);
        }
        ::close(go[0]);
        {
            const DescriptorFamine famine;
            ChildReaper::instance().watch(children.front());
        }
        ChildReaper::instance().watch(children.back());
        ::close(go[1]); // now both end
        QTRY_COMPARE_WITH_TIMEOUT(ChildReaper::instance().pending(), 0, 10000);
        for (const pid_t child : children)
            QVERIFY(reaped(child));
    }

    // A pid that is no child (zero, as a failed start gives, or less) is not watched: waiting
    // for it would reap a child of the host's own.
    void reaperTakesNoneOfTheHostsChildren()
    {
        const pid_t own = ::fork();
        if (own == 0)
            ::_exit(7);
        QVERIFY(own > 0);
        siginfo_t ended{};
        QCOMPARE(::waitid(P_PID, id_t(own), &ended, WEXITED | WNOWAIT), 0); // ended, not yet reaped
        ChildReaper::instance().watch(0);
        ChildReaper::instance().watch(-1);
        int status = 0;
        QCOMPARE(::waitpid(own, &status, 0), own);
        QCOMPARE(WEXITSTATUS(status), 7);
    }

    // A time-out ends the program with everything it started; a program that ended by itself
    // leaves what it started running: not ours to end, nor to signal.
    void endsWhatTheProgramStartedOnlyAtATimeOut()
    {
        QTemporaryDir dir;
        for (const bool dos : {false, true}) {
            for (const bool timedOut : {true, false}) {
                const QString left = QStringLiteral("sleep 48.%1%2%3").arg(int(dos)).arg(int(timedOut)).arg(unique);
                const QString command = QStringLiteral(" -c 'echo $$ >%1/pid; %2 & %3'")
                                            .arg(dir.path(), left, timedOut ? "sleep 49." + unique : "exit 3");
                clsEXE runner;
                dos ? runner.ShellDOSEXE("sh", command, 1) : runner.ShellAndWait("sh", command, 1);
                QVERIFY(!clsEXE::KillProcess(TestFiles::read(dir.filePath("pid")).trimmed().toInt()));
                // sh may end before its child is the sleeper
                QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(left).size(), timedOut ? 0 : 1, 5000);
                for (const pid_t pid : ProcessCensus::running(left))
                    ::kill(pid, SIGKILL);
            }
        }
        QVERIFY(!isRunning("sleep 49." + unique));
    }

    // Each command ends only once the runner has read all it wrote (drain): what it writes is
    // handed on whole, in order, in pieces of at most 256 characters.
    void redirect_data()
    {
        QTest::addColumn<RedirectRow>("row");
        QTest::newRow("one-piece") << RedirectRow{"'out:hello world' drain", "hello world"};
        QTest::newRow("more-than-the-pipe-holds") << RedirectRow{"fill:300000 drain", digits(300000)};
        QTest::newRow("stdout-and-stderr") << RedirectRow{"out:one drain err:two drain out:three drain", "onetwothree"};
        QTest::newRow("start-text-first") << RedirectRow{"'out:GO on' drain", "GO on", "go"};
        QTest::newRow("start-text-of-other-case") << RedirectRow{"'out:noise StArT here' drain", "StArT here", "start"};
        QTest::newRow("start-text-across-reads") << RedirectRow{
            "fill:600 drain out:ST drain 'out:ART rest' drain out:more drain", "START restmore", "start"};
        QTest::newRow("start-text-never-found") << RedirectRow{"fill:2000 out:STAR drain", "", "start"};
        QTest::newRow("start-text-after-a-mebibyte") << RedirectRow{"fill:1048576 out:GO drain", "GO", "go"};
        // A last word of a backslash stays a word: the time-out word the stub gets after it counts.
        QTest::newRow("ends-in-a-backslash") << RedirectRow{"out:x drain \\", "x"};
        // The command line reaches the command as UTF-8; each byte of output is one character.
        QTest::newRow("one-character-a-byte") << RedirectRow{"'out:caf\u00e9' drain", "caf\u00c3\u00a9"};
        // A time-out of T ends a command silent for more than T seconds, and only then (the
        // silence itself: tst_hostmatrix's redirect).
        QTest::newRow("one-second-lets-it-print")
            << RedirectRow{"sleep:400 out:late sleep:30000", "late" + timeoutMessage, "", 1, false, 1400};
        // Output every 5 clock seconds keeps a command with a 20 second time-out going for 25
        // (two real seconds for a slow start).
        const QString steady =
            "out:a sleep:500 out:b sleep:500 out:c sleep:500 out:d sleep:500 out:e sleep:500 out:f drain";
        QTest::newRow("output-keeps-it-alive") << RedirectRow{steady, "abcdef", "", 20, true};
        QTest::newRow("zero-never-times-out") << RedirectRow{steady, "abcdef", "", 0, true};
    }
    void redirect()
    {
        QFETCH(RedirectRow, row);
        clsEXE runner;
        if (row.fast)
            runner.setClock(std::make_shared<FastClock>(10));
        qsizetype pieces = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, talker + ' ' + row.command, row.startText, row.timeOut, &pieces), row.expected);
        QCOMPARE(pieces == 0, row.expected.isEmpty());
        QVERIFY2(elapsed.elapsed() >= row.minMs && elapsed.elapsed() < 10000,
                 qPrintable(QString::number(elapsed.elapsed())));
    }

    // A host with its standard input closed and one descriptor to spare gets a pipe whose read
    // end is 0 and cannot be moved above the standard ones: nothing is captured, so nothing runs.
    void redirectWithoutRoomForItsPipe()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("ran"));
        const int savedInput = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        QVERIFY(savedInput > STDERR_FILENO);
        const int spare = ::dup(STDERR_FILENO);
        QVERIFY(spare > STDERR_FILENO);
        QString handed;
        {
            const DescriptorFamine famine;
            ::close(spare);
            ::close(STDIN_FILENO);
            clsEXE runner;
            handed = ::redirect(runner, "touch '" + marker + "'");
        }
        ::dup2(savedInput, STDIN_FILENO);
        ::close(savedInput);
        QCOMPARE(handed, QString());
        QVERIFY(!QFileInfo::exists(marker));
    }

    // The command gets a process group of its own in the host's session: a terminal's Ctrl-C
    // reaches the host only, and the command can still open the host's terminal.
    void commandStaysInTheHostsSession()
    {
        clsEXE runner;
        const QStringList ids = ::redirect(runner, "cut '-d ' -f5,6 /proc/self/stat").trimmed().split(' ');
        QCOMPARE(ids.value(1), QString::number(::getsid(0)));
        QVERIFY(ids.value(0) != QString::number(::getpgrp()));
    }

    // Output still in the pipe when the command has ended is not handed on: the first piece's
    // handler keeps the runner busy until the command (the stub with the talker), once that
    // piece was read, has written the rest and ended. What the first read holds is up to the
    // scheduler; that nothing follows it is not.
    void outputOfAnEndedCommandLeft()
    {
        clsEXE runner;
        const QString command = talker + " out:first drain fill:60000";
        connect(&runner, &clsEXE::RedirOutput, this, [] {
            QVERIFY(
                QTest::qWaitFor([] { return ProcessCensus::childEndedUnreaped(QStringLiteral("STUB16.EXE")); }, 10000));
        });
        qsizetype pieces = 0;
        const QString handed = ::redirect(runner, command, {}, 0, &pieces);
        QVERIFY2(handed.startsWith(u"first") && ("first" + digits(60000)).startsWith(handed), qPrintable(handed));
        QCOMPARE(pieces, 1);
    }

    // A cancel or a time-out ends the command with what it started, a full pipe or not.
    void endsTheCommandWithWhatItStarted_data()
    {
        QTest::addColumn<EndRow>("row");
        QTest::newRow("cancel-in-a-handler")
            << EndRow{"handler", talker + " out:first sleep:20000 out:second", 30, "first", true};
        QTest::newRow("cancel-from-host-code") << EndRow{"timer", "sleep 20", 30, "", true};
        QTest::newRow("cancel-before-the-call-is-cleared")
            << EndRow{"before", talker + " out:done drain", 30, "done", false};
        // The command is blocked on a full pipe, and has a child of its own.
        const QString fullPipe =
            QStringLiteral("sh -c 'sleep 45.5%1 & exec %2 fill:1000000 sleep:30000'").arg(unique, talker);
        QTest::newRow("cancel-with-a-full-pipe") << EndRow{"handler", fullPipe, 30, digits(256), true};
        QTest::newRow("time-out-with-a-full-pipe")
            << EndRow{"slow-handler", fullPipe, 1, digits(256) + timeoutMessage, false};
        // Processes that left the command's process group or session are ended all the same.
        QTest::newRow("time-out-after-timeout-left-the-group") << EndRow{
            "never", "sh -c 'echo go; timeout 100 sleep 45.5" + unique + "'", 1, "go\n" + timeoutMessage, false};
        QTest::newRow("cancel-after-setsid-left-the-session")
            << EndRow{"handler", "sh -c 'echo go; setsid sh -c \"sleep 45.5" + unique + " & wait\"'", 30, "go\n", true};
    }
    void endsTheCommandWithWhatItStarted()
    {
        QFETCH(EndRow, row);
        clsEXE runner;
        QVERIFY(!runner.CancelRequested()); // none asked for yet
        if (row.when == u"handler")
            connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
        else if (row.when == u"slow-handler") // busy for longer than the time-out
            connect(
                &runner, &clsEXE::RedirOutput, this, [] { QThread::msleep(1500); }, Qt::SingleShotConnection);
        else if (row.when == u"timer")
            QTimer::singleShot(100, &runner, &clsEXE::Cancel);
        else if (row.when == u"before")
            runner.Cancel();
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, row.command, QString(), row.timeOut), row.output);
        QVERIFY(elapsed.elapsed() < 10000);
        QCOMPARE(runner.CancelRequested(), row.stillRequested);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning("sleep 45.5" + unique) && !isRunning(talkerPath), 5000);
    }

    // Runners on several threads at once, each with its own object: with and without an event
    // dispatcher on the thread, every wait ends with its program and nothing is left.
    void runnersOnSeveralThreads()
    {
        constexpr int perThread = 400;
        std::atomic<int> done{0};
        const auto work = [&done] {
            for (int run = 0; run < perThread; ++run) {
                clsEXE runner;
                runner.ShellAndWait("true");
                ++done;
            }
        };
        std::vector<std::unique_ptr<QThread>> withDispatcher;
        std::vector<std::thread> withoutDispatcher;
        for (int i = 0; i < 2; ++i) {
            withDispatcher.emplace_back(QThread::create(work))->start();
            withoutDispatcher.emplace_back(work);
        }
        const bool finished = QTest::qWaitFor([&done] { return done == 4 * perThread; }, 120000);
        for (std::thread &thread : withoutDispatcher)
            finished ? thread.join() : thread.detach();
        for (const auto &thread : withDispatcher)
            thread->wait(QDeadlineTimer(finished ? 10000 : 0));
        QVERIFY2(finished, qPrintable(QString::number(done)));
    }

    // STUB16.EXE on its own, as the runner starts it.
    void stub_data()
    {
        QTest::addColumn<StubRow>("row");
        QTest::newRow("exit-code-passed-on") << StubRow{{talkerPath, "out:a", "err:b", "exit:7", "-1"}, 7, "a", "b"};
        QTest::newRow("output-through-the-relay") << StubRow{{talkerPath, "out:a", "err:b", "fill:100000", "5000"},
                                                             0,
                                                             "a" + QByteArray("0123456789").repeated(10000),
                                                             "b"};
        QTest::newRow("silence-ends-the-command")
            << StubRow{{talkerPath, "out:x", "sleep:30000", "300"}, 128 + 15, "x"};
        QTest::newRow("no-silence-allowed") << StubRow{{talkerPath, "sleep:30000", "0"}, 128 + 15};
        // A process the command left behind ends first (the stub, its subreaper, is told): that
        // is no reason to end the command.
        QTest::newRow("orphan-ends-first")
            << StubRow{{"sh", "-c", "(sleep 0.1 &); sleep 0.6; echo done", "5000"}, 0, "done\n"};
        // Each piece of output starts the silence anew: pauses shorter than it, over a longer time.
        QTest::newRow("output-keeps-it-running")
            << StubRow{{talkerPath, "out:1", "sleep:400", "out:2", "sleep:400", "out:3", "sleep:400", "out:4",
                        "sleep:400", "out:5", "sleep:400", "out:6", "2000"},
                       0,
                       "123456"};
        QTest::newRow("missing-program") << StubRow{
            {"/nonexistent/x", "-1"},
            127,
            "",
            "STUB16.EXE: cannot run /nonexistent/x: No such file or directory\n"};
        QTest::newRow("time-out-not-a-number")
            << StubRow{{talkerPath, "out:a", "10s"},
                       2,
                       "",
                       "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n"};
        QTest::newRow("no-descriptor-for-a-relay") << StubRow{{talkerPath, "out:a", "5000"},
                                                              127,
                                                              "",
                                                              "STUB16.EXE: cannot create a pipe: Too many open files\n",
                                                              6};
        QTest::newRow("no-descriptor-at-all")
            << StubRow{{talkerPath, "out:a", "5000"}, 127, "", "STUB16.EXE: Too many open files\n", 4};
        QStringList alternating{talkerPath};
        QByteArray inTurn;
        for (int i = 0; i < 20; ++i) {
            alternating << QString("out:o%1").arg(i) << QString("err:e%1").arg(i);
            inTurn += QString("o%1e%1").arg(i).toLatin1();
        }
        QTest::newRow("one-relay-keeps-the-order-of-a-shared-pipe")
            << StubRow{alternating << "5000", 0, inTurn, "", 0, true};
        QTest::newRow("no-relay-needs-none") << StubRow{{talkerPath, "out:a", "-1"}, 0, "a", "", 6};
        // What the command says is dropped once nobody reads the stub; the command runs on to its end.
        QTest::newRow("reader-gone") << StubRow{
            {talkerPath, "fill:100000", "err:b", "exit:3", "5000"}, 3, "", "b", 0, false, true};
    }
    void stub()
    {
        QFETCH(StubRow, row);
        QProcess process;
        if (row.merged)
            process.setProcessChannelMode(QProcess::MergedChannels);
        process.setChildProcessModifier([&row] {
            if (row.readerGone) {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            }
            if (row.descriptors) {
                ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
                const rlimit descriptors{row.descriptors, row.descriptors};
                ::setrlimit(RLIMIT_NOFILE, &descriptors);
            }
        });
        process.start(stubProgram, row.arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), row.exitCode);
        QCOMPARE(process.readAllStandardOutput(), row.out);
        QCOMPARE(process.readAllStandardError(), row.err);
    }

    // A child's end (SIGCHLD) while the stub waits for room in a slow reader's pipe loses none
    // of the output: the wait goes on.
    void stubWaitsOnForASlowReader()
    {
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        const auto closeEnds = qScopeGuard([&ends] { ::close(ends[0]); });
        QProcess stub;
        stub.setChildProcessModifier([&ends] { ::dup2(ends[1], STDOUT_FILENO); });
        stub.start(stubProgram, {talkerPath, "fill:200000", "60000"});
        ::close(ends[1]);
        int waiting = 0;
        // Full, and the stub asleep waiting for room: in a ppoll() of one descriptor (its main
        // loop polls more), which only the signal can end.
        const QString stubCall = "/proc/" + QString::number(stub.processId()) + "/syscall";
        const auto waitsForRoom = [&stubCall] {
            const QList<QByteArray> call = TestFiles::read(stubCall).split(' ');
            return call.value(0).toLong() == SYS_ppoll && call.value(2) == "0x1";
        };
        QTRY_VERIFY(::ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting == ::fcntl(ends[0], F_GETPIPE_SZ)
                    && waitsForRoom());
        QVERIFY(::kill(pid_t(stub.processId()), SIGCHLD) == 0);
        // Read only once the signal has been taken: room made earlier could end the wait first.
        const QString stubStatus = "/proc/" + QString::number(stub.processId()) + "/status";
        QTRY_VERIFY(!TestFiles::read(stubStatus).contains("ShdPnd:\t0000000000010000"));
        QByteArray got;
        const QDeadlineTimer bound(10000);
        pollfd entry{ends[0], POLLIN, 0};
        char buffer[65536];
        ssize_t count = 1;
        while (count > 0 && ::poll(&entry, 1, int(bound.remainingTime())) == 1) {
            count = ::read(ends[0], buffer, sizeof buffer);
            got.append(buffer, std::max<ssize_t>(count, 0));
        }
        QVERIFY(stub.waitForFinished(5000));
        QCOMPARE(stub.exitCode(), 0);
        QCOMPARE(got.size(), 200000);
        QCOMPARE(got, QByteArray("0123456789").repeated(20000));
    }

    // The stub ends its command's whole process group: at its time-out, on a termination
    // signal, and while blocked passing output on to a reader that does not read.
    void stubEndsWhatItsCommandStarted_data()
    {
        QTest::addColumn<bool>("childList");
        QTest::newRow("kernel-child-list") << true;
        QTest::newRow("processes-scanned") << false; // a kernel that keeps no list of children
    }
    void stubEndsWhatItsCommandStarted()
    {
        QFETCH(bool, childList);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!childList)
            environment.insert("LD_PRELOAD", LANYARD_TEST_BIN_DIR "/nochildlist.so");
        for (const QString timeOut : {"200", "-1"}) {
            QProcess process;
            process.setProcessEnvironment(environment);
            // One process leaves the group for a session of its own: the stub, its subreaper once
            // the shell has gone, finds it among its children.
            process.start(stubProgram, {"sh", "-c",
                                        "setsid sleep 33." + timeOut.right(1) + unique + " & sleep 31."
                                            + timeOut.right(1) + unique + " & sleep 32.5" + unique,
                                        timeOut});
            QVERIFY(process.waitForStarted());
            if (timeOut == u"-1") {
                QTRY_VERIFY(isRunning("sleep 32.5" + unique));
                process.terminate();
            }
            QVERIFY(process.waitForFinished(10000));
            QVERIFY2(process.exitCode() == 128 + 15,
                     qPrintable(QString::number(process.exitCode()) + ' ' + process.readAllStandardError()));
            QTRY_VERIFY(!isRunning("sleep 31." + timeOut.right(1) + unique));
            QTRY_VERIFY(!isRunning("sleep 33." + timeOut.right(1) + unique));
            QVERIFY(!isRunning("sleep 32.5" + unique));
        }
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        // Some bytes already wait in the pipe, so the stub's write fills it part way and blocks
        // with bytes written: the signal then cuts it short rather than failing it.
        QCOMPARE(::write(ends[1], QByteArray(1000, 'x').constData(), 1000), 1000);
        QProcess stub;
        stub.setProcessEnvironment(environment);
        stub.setChildProcessModifier([&ends] { ::dup2(ends[1], STDOUT_FILENO); }); // a reader that never reads
        stub.start(stubProgram, {talkerPath, "fill:1000000", "sleep:30000", "60000"});
        ::close(ends[1]);
        int waiting = 0;
        // The stub is blocked once every page of the pipe but the first one's is full.
        const long page = ::sysconf(_SC_PAGESIZE);
        const long full = 1000 + (::fcntl(ends[0], F_GETPIPE_SZ) / page - 1) * page;
        QTRY_VERIFY(::ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting >= full);
        stub.terminate();
        QVERIFY(stub.waitForFinished(5000));
        ::close(ends[0]);
        QCOMPARE(stub.exitCode(), 128 + 15);
        QTRY_VERIFY(!isRunning(talkerPath + " fill:1000000"));
    }

    // Processes that ignore SIGTERM, each in a session of its own and each the parent of the
    // next: one becomes the stub's child only once the one before has been killed, and is
    // killed in turn.
    void stubKillsChildrenThatCameLate()
    {
        QTemporaryDir dir;
        const QString chain = dir.filePath(QStringLiteral("chain"));
        QVERIFY(TestFiles::write(chain, "trap '' TERM\n"
                                        "[ \"$1\" -gt 0 ] && setsid sh \"$0\" $(($1 - 1)) \"$2\" &\n"
                                        "exec sleep \"$2\"\n"));
        const QString sleeper = "sleep 34." + unique;
        QProcess stub;
        stub.start(stubProgram, {"sh", chain, "2", "34." + unique, "-1"});
        QVERIFY(stub.waitForStarted());
        QTRY_COMPARE(ProcessCensus::running(sleeper).size(), 3);
        stub.terminate();
        QVERIFY(stub.waitForFinished(10000));
        QCOMPARE(stub.exitCode(), 128 + 9); // the command ignored SIGTERM too
        QTRY_VERIFY(!isRunning(sleeper));
    }

    // Windows found by their exact title, and asked to close.
    void findAndCloseWindows_data()
    {
        QTest::addColumn<TitleRow>("row");
        QTest::newRow("exact") << TitleRow{"Finished - EDIT", "Finished - EDIT", true};
        QTest::newRow("prefix-only") << TitleRow{"Finished - EDITOR", "Finished - EDIT", false};
        // Read as the UTF-8 it is, not byte by byte.
        QTest::newRow("beyond-ascii") << TitleRow{"Fertig - GRÖSSE ✓", "Fertig - GRÖSSE ✓", true};
    }
    void findAndCloseWindows()
    {
        QFETCH(TitleRow, row);
        const auto window = shownWindow(row.title);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(WindowFinder().find(row.title), 10000);
        WindowFinder finder;
        const auto id = finder.find(row.searched);
        QCOMPARE(id.has_value(), row.found);
        if (row.found) {
            QVERIFY(finder.close(*id));
            QTRY_VERIFY(!window->isVisible()); // closed as its close box would
        }
    }

    // Windows made without a toolkit: one with only the old WM_NAME, in Latin-1, as older
    // programs title theirs; and one inside a window manager's frame, where the top-level
    // windows are the frames and the manager lists its clients on the root window.
    void findsWindowsMadeByHand_data()
    {
        QTest::addColumn<bool>("framed");
        QTest::newRow("title-of-the-old-kind") << false;
        QTest::newRow("inside-a-window-managers-frame") << true;
    }
    void findsWindowsMadeByHand()
    {
        QFETCH(bool, framed);
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        const auto disconnect = qScopeGuard([connection] { xcb_disconnect(connection); });
        QVERIFY(!xcb_connection_has_error(connection));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const auto newWindow = [connection](xcb_window_t parent) {
            const xcb_window_t window = xcb_generate_id(connection);
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 100, 50, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_map_window(connection, window);
            return window;
        };
        const xcb_window_t frame = framed ? newWindow(root) : root;
        const xcb_window_t window = newWindow(frame);
        const QByteArray title = "Fertig - GR\xd6SSE " + unique.toLatin1();
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(title.size()), title.constData());
        const char listName[] = "_NET_CLIENT_LIST";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> clientList(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof listName - 1, listName), nullptr),
            &std::free);
        QVERIFY(clientList);
        if (framed)
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, clientList->atom, XCB_ATOM_WINDOW, 32, 1,
                                &window);
        const auto cleanUp = qScopeGuard([&] {
            xcb_delete_property(connection, root, clientList->atom);
            xcb_destroy_window(connection, framed ? frame : window);
            xcb_flush(connection);
        });
        xcb_flush(connection);
        QTRY_COMPARE_WITH_TIMEOUT(WindowFinder().find(QString::fromLatin1(title)), std::optional<quint32>(window),
                                  10000);
    }

    // The command-line host on a display someone sees: configure shows the program list, run a
    // box for a missing program (standard error is no terminal here); each ends with its window.
    void commandLineHostWindows()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::write(dir.filePath("tools.lst"), "Tools,Ghost,/nonexistent/ghost,,0\n"));
        for (const auto &[command, title, status] :
             {std::tuple{QStringList{"configure"}, "Configure Launch Application", 0},
              {QStringList{"run", "Tools", "Ghost"}, "Lanyard", 1}}) {
            QProcess lanyard;
            lanyard.start(LANYARD_TEST_BIN_DIR "/lanyard", QStringList{"--file", dir.filePath("tools.lst")} + command);
            WindowFinder finder;
            QTRY_VERIFY_WITH_TIMEOUT(finder.find(title).has_value(), 10000);
            QVERIFY(finder.close(*finder.find(title)));
            QVERIFY(lanyard.waitForFinished(10000));
            QCOMPARE(lanyard.exitCode(), status);
        }
    }

    // ShellDOSEXE returns when the program's "Finished" window shows, and closes it.
    void dosProgramEndsWithItsWindow_data()
    {
        QTest::addColumn<WindowRow>("row");
        // The helper never ends by itself; the time-out only keeps a fault from hanging the test.
        QTest::newRow("window-seen-and-closed") << WindowRow{"", "", 60, 30000};
        QTest::newRow("title-given-later") << WindowRow{"", " --late", 60, 30000};
        QTest::newRow("dots-in-folder-names") << WindowRow{"app-1.2/.local/bin", "", 60, 30000};
        QTest::newRow("negative-time-out-stops-in-the-first-pass") << WindowRow{"", "", -1, 5000};
    }
    void dosProgramEndsWithItsWindow()
    {
        QFETCH(WindowRow, row);
        QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow");
        QTemporaryDir dir;
        if (!row.folder.isEmpty()) {
            const QString copy = dir.filePath(row.folder + "/finishedwindow");
            QVERIFY(QDir().mkpath(dir.filePath(row.folder)) && QFile::copy(program, copy));
            program = copy;
        }
        QElapsedTimer elapsed;
        elapsed.start();
        clsEXE().ShellDOSEXE(u'"' + program + u'"', row.arguments, row.timeOut); // blanks in the path
        QVERIFY2(elapsed.elapsed() < row.maxMs, qPrintable(QString::number(elapsed.elapsed())));
        QTRY_VERIFY(!WindowFinder().find("Finished - FINISHEDWINDOW"));
    }
};

QTEST_MAIN(tst_Runner)
#include "tst_runner.moc"

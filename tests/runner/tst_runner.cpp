// SPDX-License-Identifier: MIT
// Every way a run ends through every runner, every launch that cannot start through every door,
// the process runner's capture, STUB16.EXE and the window finder, with real processes: what they
// wait for, hand on and answer, and that they end what they started, and only that.
#include "common/Catalogue.h"
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "runner/RunnerClock.h"
#include "runner/WindowFinder.h"
#include "runner/clsEXE.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cmath>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace Lanyard;

namespace {

const QString talkerPath = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");
const QString talker = u'"' + talkerPath + u'"'; // in a command line: the checkout's path may hold blanks
const QString stubProgram = QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE");
const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
/// Digits that make a command line unique on the machine: other test runs may have sleepers too.
const QString unique = QStringLiteral("%1").arg(::getpid(), 7, 10, QChar(u'0'));

/// A runner clock @p speed times faster than the computer's, from 0.
class FastClock final : public RunnerClock
{
public:
    explicit FastClock(double speed)
        : m_speed(speed)
    {
        m_elapsed.start();
    }
    double seconds() const override { return m_last = double(m_elapsed.nsecsElapsed()) / 1e9 * m_speed; }
    std::chrono::milliseconds realTimeFor(double seconds) const override
    {
        return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000 / m_speed)));
    }
    mutable double m_last = -1; ///< the last reading

private:
    double m_speed;
    QElapsedTimer m_elapsed;
};

QString digits(int size)
{
    QString text;
    for (int i = 0; i < size; ++i)
        text += QChar(u'0' + i % 10);
    return text;
}

bool isRunning(const QString &marker) { return !ProcessCensus::running(marker).isEmpty(); }

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

/// Runs RedirectDOSEXE; the RedirOutput pieces joined, each checked to be at most 256 long.
QString redirect(clsEXE &runner, const QString &command, const QString &startText = {}, qint32 timeOut = 0)
{
    QString joined;
    QObject collector;
    QObject::connect(&runner, &clsEXE::RedirOutput, &collector, [&joined](const QString &piece) {
        joined += piece;
        QVERIFY(piece.size() <= 256);
    });
    QTimer watchdog; // a runner that misses the command's end fails the test instead of hanging it
    QObject::connect(&watchdog, &QTimer::timeout, &runner, &clsEXE::Cancel);
    watchdog.start(20000);
    runner.RedirectDOSEXE(command, startText, timeOut);
    return joined;
}

struct DoorRow
{
    QString path, cmdLine;
    QString reason;                     ///< ExecuteApp's, by name and startTool's; none: started
    int shell = 0, dos = 0;             ///< ShellAndWait's and ShellDOSEXE's errors (0: started; -1: not asked)
    QString redirect;                   ///< what RedirectDOSEXE hands on: the stub's word, or none at all
    QString tool = QStringLiteral("="); ///< startTool's, when it differs
    bool starved = false;               ///< no descriptor left
    QString app = QStringLiteral("A");
};
struct RedirectRow
{
    QString command, expected, startText;
    int timeOut = 0;
    QString handler;   ///< what a RedirOutput handler, a timer or the caller does meanwhile
    bool fast = false; ///< on a clock 10 times fast
    int minMs = 0;
};
struct StubRow
{
    QStringList arguments;
    int exitCode = 0;
    QByteArray out, err;
    /// The stub's descriptor limit, with only the standard ones open (none when 0); one above what
    /// the stub gets to open: a sanitizer's runtime needs one at the exit.
    rlim_t descriptors = 0;
    bool merged = false;     ///< standard output and error the same pipe (then err is empty)
    bool readerGone = false; ///< standard output a pipe whose reader has gone (then out is empty)
    QStringList gone;        ///< processes that must be gone; the stub is terminated once
    int terminateAt = 0;     ///< this many of the last of them run
    bool childList = true;   ///< false: a kernel that keeps no list of a task's children
};
struct WindowRow
{
    QString kind, title, searched;
    bool found = true;
    QString folder, arguments; ///< of the DOS program that shows the window
    int timeOut = 60;
};

} // namespace

Q_DECLARE_METATYPE(DoorRow)
Q_DECLARE_METATYPE(RedirectRow)
Q_DECLARE_METATYPE(StubRow)
Q_DECLARE_METATYPE(WindowRow)

class tst_Runner : public QObject
{
    Q_OBJECT

    int m_descriptorsAtStart = 0;
    int m_rows = 0;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "runs on an X display (xvfb-run)");
        {
            // Qt opens descriptors of its own with the first window; they are not the runner's.
            QWidget warmUp;
            warmUp.show();
            QVERIFY(QTest::qWaitForWindowExposed(&warmUp));
        }
        QCoreApplication::processEvents();
        m_descriptorsAtStart = ProcessCensus::openDescriptors(false);
        struct sigaction noted
        {
        };
        noted.sa_handler = [](int) {};
        ::sigemptyset(&noted.sa_mask); // no SA_RESTART: waits see EINTR
        QCOMPARE(::sigaction(SIGUSR1, &noted, nullptr), 0);
    }
    void cleanup() { QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::children(), QStringList(), 10000); }
    void cleanupTestCase() { QCOMPARE(ProcessCensus::openDescriptors(false), m_descriptorsAtStart); }

    // Every way a run ends, through every runner: the runner's waits, ToolRun, ExecuteApp's
    // reaping. The program starts a sleeper, which only an end by the runner ends, and a helper
    // that tidies up when asked to end; the program waits for it. Signals keep interrupting the
    // host's thread meanwhile.
    void ends_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<QString>("way");
        const QStringList waits{"exits", "killed", "cancelled", "stubborn", "timed-out", "host-quits"};
        const std::map<QString, QStringList> ways{
            {"shell", waits + QStringList{"fast-clock"}},
            {"dos", waits + QStringList{"fast-clock", "negative-time-out"}},
            {"redirect", waits},
            {"tool",
             {"exits", "killed", "cancelled", "stubborn", "cancelled-after-its-end", "deleted", "stubborn-deleted"}},
            {"launch", {"exits", "killed", "deleted"}}};
        for (const auto &[runner, list] : ways) {
            for (const QString &way : list)
                QTest::addRow("%s/%s", qPrintable(runner), qPrintable(way)) << runner << way;
        }
    }
    void ends()
    {
        QFETCH(QString, runner);
        QFETCH(QString, way);
        QTemporaryDir dir;
        const QString sleeper = QStringLiteral("sleep %1.%2").arg(10 + m_rows++).arg(unique);
        const bool stubborn = way.startsWith(u"stubborn"); // ignores SIGTERM, and so do its children
        const bool tidies = QStringList{"cancelled", "timed-out", "fast-clock", "negative-time-out"}.contains(way)
                            || (way == u"deleted" && runner == u"tool");
        const bool leaves = QStringList{"exits", "killed", "host-quits"}.contains(way) || runner == u"launch";
        QString script = "[ -z \"$1\" ] || exec >/dev/null 2>&1\n"; // the runner's waits: no word in the test's log
        script += stubborn ? "trap '' TERM\n" : tidies ? "trap 'wait; exit 0' TERM\n" : "";
        script += sleeper + (way == u"cancelled-after-its-end" ? " &\n" : " >/dev/null 2>&1 &\n");
        if (tidies)
            script += QStringLiteral("sh -c 'trap \"echo tidied >%1/tidied; exit 0\" TERM; : >%1/ready; while :; do "
                                     "sleep 0.05; done' &\nwhile [ ! -e %1/ready ]; do sleep 0.01; done\n")
                          .arg(dir.path());
        else
            script += ": >" + dir.path() + "/ready\n";
        const QHash<QString, QString> tails{{"exits", "exit 3"},
                                            {"killed", "kill -KILL $$"},
                                            {"host-quits", "sleep 0.4"},
                                            {"cancelled-after-its-end", "exit 0"}};
        script += "echo hi\n"
                  + tails.value(way, stubborn ? "while :; do sleep 0.05; done"
                                     : tidies ? "wait"
                                              : "sleep 0.2");
        const QString file = dir.filePath("run.sh");
        QVERIFY(TestFiles::write(file, script.toUtf8()));

        clsEXE exe;
        const auto clock = std::make_shared<FastClock>(100);
        if (way == u"fast-clock")
            exe.setClock(clock);
        const int timeOut = QHash<QString, int>{{"timed-out", 1}, {"fast-clock", 10}, {"negative-time-out", -1}}.value(
            way, 30);
        const bool cancels = way == u"cancelled" || stubborn;
        if (runner == u"redirect" && cancels)
            connect(&exe, &clsEXE::RedirOutput, &exe, &clsEXE::Cancel);
        std::optional<bool> killed;
        QTimer killing; // KillProcess ends the waited program once it is ready, and refuses any other
        connect(&killing, &QTimer::timeout, this, [&] {
            const pid_t waited = ProcessCensus::running("sh " + file + " quiet").value(0);
            const pid_t other = ProcessCensus::running(sleeper).value(0);
            if (waited == 0 || other == 0 || !QFile::exists(dir.filePath("ready")))
                return;
            killing.stop();
            QVERIFY(!clsEXE::KillProcess(0) && !clsEXE::KillProcess(1) && !clsEXE::KillProcess(other));
            QVERIFY(isRunning(sleeper));
            killed = clsEXE::KillProcess(waited);
        });
        if ((runner == u"shell" || runner == u"dos") && cancels)
            killing.start(10);
        auto apps = std::make_unique<ExternalApps>();
        apps->setShowMissingProgram(false);
        QVERIFY(apps->AddApp("T", "A", "/bin/sh", file + (runner == u"launch" ? " quiet" : ""), false));
        QPointer<ToolRun> run;
        QString output;

        // Not while a program outlives its grace: each signal restarts that wait in full.
        std::atomic<bool> storming = way == u"cancelled";
        const pthread_t host = ::pthread_self();
        const std::jthread storm([&storming, host] {
            while (storming) {
                ::pthread_kill(host, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const auto calm = qScopeGuard([&storming] { storming = false; });
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(10);
        QElapsedTimer elapsed;
        elapsed.start();
        const double cpuBefore = threadCpuMs();
        const auto start = [&] {
            if (runner == u"shell")
                exe.ShellAndWait("sh", ' ' + file + " quiet", timeOut);
            else if (runner == u"dos")
                exe.ShellDOSEXE("sh", ' ' + file + " quiet", timeOut);
            else if (runner == u"redirect")
                output = ::redirect(exe, "sh " + file, {}, timeOut);
            else if (runner == u"launch")
                QVERIFY(apps->ExecuteApp("T", "A"));
            else
                run = apps->startTool("T", "A", QByteArray(8 << 20, 'x')); // more than a pipe holds, never read
        };
        // A host quitting (its last window closed) neither cuts a wait short nor makes it spin.
        if (way == u"host-quits") {
            QTimer::singleShot(0, this, [&] {
                QCoreApplication::quit();
                start();
            });
            QCoreApplication::exec();
        } else {
            start();
        }
        const qint64 waitedMs = elapsed.elapsed();
        const double cpuMs = threadCpuMs() - cpuBefore;
        const int minMs = QHash<QString, int>{{"timed-out", 1000}, {"host-quits", 400}, {"fast-clock", 85}}.value(way);
        QVERIFY2(waitedMs >= minMs && waitedMs < 10000, qPrintable(QString::number(waitedMs)));
        QVERIFY2(minMs < 400 || (ticks >= minMs / 100 && cpuMs < 100), qPrintable(QString::number(cpuMs)));
        if (way == u"fast-clock") // stopped only once past the deadline
            QVERIFY2(clock->m_last > timeOut, qPrintable(QString::number(clock->m_last)));
        if (runner == u"redirect")
            QCOMPARE(output, way == u"timed-out" ? "hi\n" + timeoutMessage : QStringLiteral("hi\n"));
        if (killing.interval() && cancels)
            QCOMPARE(killed, std::optional(true));
        if (way == u"deleted" && runner == u"launch")
            apps.reset(); // the reaper outlives it
        if (runner == u"tool") {
            QByteArray got;
            int finished = 0;
            int exitCode = -2;
            connect(run, &ToolRun::standardOutput, this, [&got](const QByteArray &bytes) { got += bytes; });
            connect(run, &ToolRun::finished, this, [&](int code) {
                ++finished;
                exitCode = code;
            });
            if (way == u"cancelled-after-its-end") {
                // Without the loop, which would see the end and finish the run before the cancel.
                const QDeadlineTimer bound(20000);
                while (!ProcessCensus::childEndedUnreaped("sh") && !bound.hasExpired())
                    QThread::msleep(5);
                run->cancel(); // what the ended program left in its group goes too
            } else if (!leaves) {
                QTRY_COMPARE_WITH_TIMEOUT(got, QByteArray("hi\n"), 20000);
                QSignalSpy changed(run, &ToolRun::stateChanged);
                if (way.endsWith(u"deleted")) {
                    way == u"deleted" ? apps.reset() : delete run.get();
                    QVERIFY(!run);
                } else {
                    run->cancel();
                    QCOMPARE(run->state(), ToolRun::State::Cancelled);
                    QCOMPARE(changed.count(), 1);
                    QCOMPARE(finished, 0); // told from the loop
                }
            }
            // The grace is half a second; the bound leaves room for a loaded machine without
            // letting a cancel that never ends pass.
            if (run) {
                QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 3000);
                QCOMPARE(got, way == u"cancelled-after-its-end" ? QByteArray() : QByteArray("hi\n"));
                const QHash<QString, int> codes{{"exits", 3}, {"killed", 137}, {"stubborn", 137}};
                QCOMPARE(exitCode, codes.value(way));
                QCOMPARE(run->state(), leaves ? ToolRun::State::Finished : ToolRun::State::Cancelled);
            }
        }
        if (way == u"cancelled" && runner != u"redirect") // the group was asked to end, and had its grace
            QCOMPARE(TestFiles::read(dir.filePath("tidied")), QByteArray("tidied\n"));
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(sleeper).size(), qsizetype(leaves), 10000);
        for (const pid_t pid : ProcessCensus::running(sleeper))
            ::kill(pid, SIGKILL);
    }

    // A child that ignores SIGTERM and leads no group of its own is killed once its grace is
    // over; nothing is sent to the group it shares with the test.
    void terminateOutlastsAnIgnoredTerm()
    {
        int ready[2];
        QCOMPARE(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) { // only calls that are safe after a fork of a threaded process
            ::signal(SIGTERM, SIG_IGN);
            if (::write(ready[1], "", 1) == 1)
                for (;;)
                    ::pause();
            ::_exit(1);
        }
        ::close(ready[1]);
        char got = 0;
        const ssize_t readyRead = ::read(ready[0], &got, 1);
        ::close(ready[0]);
        ChildProcess child(pid);
        const auto reap = qScopeGuard([&] {
            ::kill(pid, SIGKILL);
            child.reap();
        });
        QCOMPARE(readyRead, 1);
        QVERIFY(child.terminate(50) && child.waitForEnd(10000));
        QCOMPARE(child.exitCode(), std::optional(128 + SIGKILL));
    }

    // A launch that cannot start, through every door: ExecuteApp, by name, startTool, and the
    // runner's three waits (the capture ends quietly). Each door of a kind gives the same reason.
    void doors_data()
    {
        QTest::addColumn<DoorRow>("row");
        const QString missing = QStringLiteral("Unable to find the file: ");
        const QString script = m_dir.filePath("script");
        QVERIFY(TestFiles::write(script, "touch pwned\n")
                && QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
        const auto stub = [](const QString &program, const char *error) {
            return "STUB16.EXE: cannot run " + program + ": " + error + '\n';
        };
        QTest::newRow("no-such-file") << DoorRow{"/nonexistent/program",
                                                 "",
                                                 missing + "/nonexistent/program",
                                                 53,
                                                 53,
                                                 stub("/nonexistent/program", "No such file or directory")};
        QTest::newRow("not-executable") << DoorRow{LANYARD_SOURCE_DIR "/LICENSE",
                                                   "",
                                                   "Permission denied",
                                                   53,
                                                   53,
                                                   stub(LANYARD_SOURCE_DIR "/LICENSE", "Permission denied")};
        QTest::newRow("script-without-interpreter")
            << DoorRow{script, "", "Exec format error", 53, 53, stub(script, "Exec format error")};
        QTest::newRow("a-folder") << DoorRow{m_dir.path(), "", missing + m_dir.path(),
                                             53,           53, stub(m_dir.path(), "Permission denied")};
        QTest::newRow("open-quote") << DoorRow{"/bin/sleep", "'1", "a quote in the command line is not closed", 5, 5};
        QTest::newRow("nothing-to-run") << DoorRow{
            "", "", missing, 5, 5, "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n"};
        QTest::newRow("quoted-stored-path") << DoorRow{'"' + QStringLiteral(LANYARD_TEST_BIN_DIR "/recorder") + '"', "",
                                                       "cannot enter the program's folder: No such file or directory"};
        QTest::newRow("interpreter-without-drive-path") << DoorRow{"COMMAND.COM",
                                                                   "/C ZIP.EXE",
                                                                   missing + "COMMAND.COM",
                                                                   53,
                                                                   5,
                                                                   stub("COMMAND.COM", "No such file or directory")};
        QTest::newRow("cmd-with-drive-path") << DoorRow{"cmd.exe",
                                                        "/C C:\\TOOLS\\ZIP.EXE",
                                                        missing + "cmd.exe",
                                                        53,
                                                        53,
                                                        stub("cmd.exe", "No such file or directory")};
        QTest::newRow("no-descriptors") << DoorRow{"/bin/true", "", "", 0, 0, {}, "Too many open files", true};
        QTest::newRow("no-such-application")
            << DoorRow{"/bin/true", "", "no such application", -1, -1, {}, "=", false, "a"};
    }
    void doors()
    {
        QFETCH(DoorRow, row);
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        apps.AddApp("T", "A", row.path, row.cmdLine, false);
        QSignalSpy launchFailed(&apps, &ExternalApps::launchFailed);
        const QString program = row.path.contains(u' ') ? '"' + row.path + '"' : row.path;
        QString redirected = QStringLiteral("not asked");
        std::optional<DescriptorFamine> famine;
        if (row.starved)
            famine.emplace();
        const bool executed = apps.ExecuteApp("T", row.app);
        const QVariantMap byName = apps.invoke("ExecuteApp", "call", {"T", row.app});
        ToolRun *run = apps.startTool("T", row.app, "input");
        QSignalSpy failed(run, &ToolRun::failedToStart); // told from the loop, once the host could connect
        const int shell = row.shell < 0 ? -1 : errorOf([&] { clsEXE().ShellAndWait(program, ' ' + row.cmdLine); });
        const int dos = row.dos < 0 ? -1 : errorOf([&] { clsEXE().ShellDOSEXE(program, ' ' + row.cmdLine); });
        if (row.shell != 0) {
            clsEXE runner;
            redirected = ::redirect(runner, program + ' ' + row.cmdLine);
        }
        famine.reset();
        const QString toolReason = row.tool == u"=" ? row.reason : row.tool;
        QCOMPARE(executed, row.reason.isEmpty());
        QCOMPARE(byName.value("error").toInt(), 0);
        QCOMPARE(byName.value("value").toBool(), row.reason.isEmpty());
        QCOMPARE(run->state(), toolReason.isEmpty() ? ToolRun::State::Running : ToolRun::State::FailedToStart);
        QCOMPARE(run->failure(), toolReason);
        QList<QVariantList> told;
        for (const QString &reason : {row.reason, row.reason, toolReason}) {
            if (!reason.isEmpty())
                told << QVariantList{"T", row.app, reason};
        }
        QCOMPARE(QList<QVariantList>(launchFailed.cbegin(), launchFailed.cend()), told);
        QCOMPARE(shell, row.shell);
        QCOMPARE(dos, row.dos);
        QCOMPARE(redirected, row.shell == 0 ? QStringLiteral("not asked") : row.redirect);
        if (!toolReason.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
            QCOMPARE(failed.at(0).at(0).toString(), toolReason);
            run->cancel(); // nothing to end
            QCOMPARE(run->state(), ToolRun::State::FailedToStart);
        }
        QVERIFY(!QFile::exists("pwned"));
    }

    // The capture hands on what each command writes whole, in order, in pieces of at most 256
    // characters; the talker's commands end only once the runner has read all (drain). A cancel
    // or a time-out ends the command with what it started, a full pipe or not.
    void redirect_data()
    {
        QTest::addColumn<RedirectRow>("row");
        const auto t = [](const char *actions) { return talker + ' ' + QString::fromUtf8(actions); };
        QTest::newRow("one-piece") << RedirectRow{t("'out:hello world' drain"), "hello world"};
        QTest::newRow("more-than-the-pipe-holds") << RedirectRow{t("fill:300000 drain"), digits(300000)};
        QTest::newRow("stdout-and-stderr")
            << RedirectRow{t("out:one drain err:two drain out:three drain"), "onetwothree"};
        QTest::newRow("start-text-first") << RedirectRow{t("'out:GO on' drain"), "GO on", "go"};
        QTest::newRow("start-text-of-other-case")
            << RedirectRow{t("'out:noise StArT here' drain"), "StArT here", "start"};
        QTest::newRow("start-text-across-reads") << RedirectRow{
            t("fill:600 drain out:ST drain 'out:ART rest' drain out:more drain"), "START restmore", "start"};
        QTest::newRow("start-text-never-found") << RedirectRow{t("fill:2000 out:STAR drain"), "", "start"};
        QTest::newRow("start-text-after-a-mebibyte") << RedirectRow{t("fill:1048576 out:GO drain"), "GO", "go"};
        // A last word of a backslash stays a word: the time-out word the stub gets after it counts.
        QTest::newRow("ends-in-a-backslash") << RedirectRow{t("out:x drain \\"), "x"};
        // The command line reaches the command as UTF-8; each byte of output is one character.
        QTest::newRow("one-character-a-byte") << RedirectRow{t("'out:caf\u00e9' drain"), "caf\u00c3\u00a9"};
        // A time-out of T ends a command silent for more than T seconds, and only then.
        QTest::newRow("one-second-lets-it-print")
            << RedirectRow{t("sleep:400 out:late sleep:30000"), "late" + timeoutMessage, "", 1, "", false, 1400};
        // Output every 3 clock seconds keeps a command with a 20 second time-out going for 15.
        const QString steady = t("out:a sleep:300 out:b sleep:300 out:c sleep:300 out:d sleep:300 out:e sleep:300 "
                                 "out:f drain");
        QTest::newRow("output-keeps-it-alive") << RedirectRow{steady, "abcdef", "", 20, "", true};
        QTest::newRow("zero-never-times-out") << RedirectRow{t("out:a sleep:300 out:b drain"), "ab", "", 0, "", true};
        QTest::newRow("cancel-in-a-handler")
            << RedirectRow{t("out:first sleep:20000 out:second"), "first", "", 30, "cancel"};
        QTest::newRow("cancel-from-host-code") << RedirectRow{"sleep 20", "", "", 30, "timer"};
        QTest::newRow("cancel-before-the-call-is-cleared")
            << RedirectRow{t("out:done drain"), "done", "", 30, "before"};
        // The command is blocked on a full pipe, and has a child of its own.
        const QString fullPipe =
            QStringLiteral("sh -c 'sleep 45.5%1 & exec %2 fill:1000000 sleep:30000'").arg(unique, talker);
        QTest::newRow("cancel-with-a-full-pipe") << RedirectRow{fullPipe, digits(256), "", 30, "cancel"};
        QTest::newRow("time-out-with-a-full-pipe") // its handler busy for longer than the time-out
            << RedirectRow{fullPipe, digits(256) + timeoutMessage, "", 1, "slow"};
        // Processes that left the command's process group or session are ended all the same.
        QTest::newRow("time-out-after-timeout-left-the-group")
            << RedirectRow{"sh -c 'echo go; timeout 100 sleep 45.5" + unique + "'", "go\n" + timeoutMessage, "", 1};
        QTest::newRow("cancel-after-setsid-left-the-session") << RedirectRow{
            "sh -c 'echo go; setsid sh -c \"sleep 45.5" + unique + " & wait\"'", "go\n", "", 30, "cancel"};
        // Output still in the pipe when the command (the stub with the talker) has ended is not
        // handed on: the first piece's handler keeps the runner busy until then.
        QTest::newRow("output-of-an-ended-command-left")
            << RedirectRow{t("out:first drain fill:60000"), "first", "", 0, "wait"};
        // The command gets a process group of its own in the host's session: a terminal's Ctrl-C
        // reaches the host only, and the command can still open the host's terminal.
        QTest::newRow("in-the-hosts-session") << RedirectRow{
            QStringLiteral("sh -c 'test $(cut \"-d \" -f6 /proc/$$/stat) = %1 && test $(cut \"-d \" -f5 /proc/$$/stat) "
                           "!= %2 && echo same'")
                .arg(::getsid(0))
                .arg(::getpgrp()),
            "same\n"};
    }
    void redirect()
    {
        QFETCH(RedirectRow, row);
        clsEXE runner;
        if (row.fast)
            runner.setClock(std::make_shared<FastClock>(10));
        QVERIFY(!runner.CancelRequested()); // none asked for yet
        if (row.handler == u"cancel")
            connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
        else if (row.handler == u"slow")
            connect(
                &runner, &clsEXE::RedirOutput, this, [] { QThread::msleep(1500); }, Qt::SingleShotConnection);
        else if (row.handler == u"timer")
            QTimer::singleShot(100, &runner, &clsEXE::Cancel);
        else if (row.handler == u"before")
            runner.Cancel();
        else if (row.handler == u"wait")
            connect(&runner, &clsEXE::RedirOutput, this, [] {
                QVERIFY(QTest::qWaitFor([] { return ProcessCensus::childEndedUnreaped("STUB16.EXE"); }, 10000));
            });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, row.command, row.startText, row.timeOut), row.expected);
        QVERIFY2(elapsed.elapsed() >= row.minMs && elapsed.elapsed() < 10000,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(runner.CancelRequested(), row.handler == u"cancel" || row.handler == u"timer");
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning("sleep 45.5" + unique) && !isRunning(talkerPath), 5000);
    }

    // STUB16.EXE on its own, as the runner starts it; ending its command ends its whole process
    // group and what left it, at its time-out or on SIGTERM.
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
        // One process leaves the group for a session of its own: the stub, its subreaper once the
        // shell has gone, finds it among its children, in the kernel's list or by scanning.
        for (const bool childList : {true, false}) {
            for (const QString timeOut : {"200", "-1"}) {
                const QString n = QString::number(childList) + timeOut.right(1);
                QTest::addRow("%s-ends-the-group-%s", timeOut == u"-1" ? "sigterm" : "time-out",
                              childList ? "listed" : "scanned")
                    << StubRow{
                           {"sh", "-c",
                            "setsid sleep 33." + n + unique + " & sleep 31." + n + unique + " & sleep 32.5" + unique,
                            timeOut},
                           128 + 15,
                           {},
                           {},
                           0,
                           false,
                           false,
                           {"sleep 31." + n + unique, "sleep 33." + n + unique, "sleep 32.5" + unique},
                           timeOut == u"-1" ? 1 : 0,
                           childList};
            }
        }
        // Processes that ignore SIGTERM, each in a session of its own and the parent of the next:
        // one becomes the stub's child only once the one before has been killed, and is killed in turn.
        const QString chain = m_dir.filePath("chain");
        QVERIFY(TestFiles::write(chain, "trap '' TERM\n[ \"$1\" -gt 0 ] && setsid sh \"$0\" $(($1 - 1)) \"$2\" &\n"
                                        "exec sleep \"$2\"\n"));
        QTest::newRow("children-that-came-late") << StubRow{
            {"sh", chain, "2", "34." + unique, "-1"}, 128 + 9, {}, {}, 0, false, false, {"sleep 34." + unique}, 3};
    }
    void stub()
    {
        QFETCH(StubRow, row);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!row.childList)
            environment.insert("LD_PRELOAD", LANYARD_TEST_BIN_DIR "/nochildlist.so");
        process.setProcessEnvironment(environment);
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
        if (row.terminateAt) {
            QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(row.gone.last()).size(), row.terminateAt, 10000);
            process.terminate();
        }
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), row.exitCode);
        QCOMPARE(process.readAllStandardOutput(), row.out);
        QCOMPARE(process.readAllStandardError(), row.err);
        for (const QString &marker : row.gone)
            QTRY_VERIFY(!isRunning(marker));
    }

    // The stub blocked passing output on to a full pipe: a child's end (SIGCHLD) loses none of
    // the output, the wait goes on; SIGTERM ends the command all the same.
    void stubOnAFullPipe_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("sigchld") << int(SIGCHLD);
        QTest::newRow("sigterm") << int(SIGTERM);
    }
    void stubOnAFullPipe()
    {
        QFETCH(int, signal);
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        const auto closeEnds = qScopeGuard([&ends] { ::close(ends[0]); });
        // Some bytes wait in the pipe already, so that the stub's write fills it part way and
        // blocks with bytes written: SIGTERM then cuts it short rather than failing it.
        const int first = signal == SIGTERM ? 1000 : 0;
        QCOMPARE(::write(ends[1], QByteArray(first, 'x').constData(), size_t(first)), first);
        QProcess stub;
        stub.setChildProcessModifier([&ends] { ::dup2(ends[1], STDOUT_FILENO); });
        stub.start(stubProgram, {talkerPath, "fill:200000", "sleep:30000", "60000"});
        ::close(ends[1]);
        // Full but for its first page's room, and the stub asleep waiting for room: in a ppoll()
        // of one descriptor (its main loop polls more), which only a signal can end.
        const long page = ::sysconf(_SC_PAGESIZE);
        const long full = first ? first + (::fcntl(ends[0], F_GETPIPE_SZ) / page - 1) * page
                                : ::fcntl(ends[0], F_GETPIPE_SZ);
        const QString proc = "/proc/" + QString::number(stub.processId());
        QTRY_VERIFY([&] {
            int waiting = 0;
            const QList<QByteArray> call = TestFiles::read(proc + "/syscall").split(' ');
            return ::ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting >= full && call.value(0).toLong() == SYS_ppoll
                   && call.value(2) == "0x1";
        }());
        QVERIFY(::kill(pid_t(stub.processId()), signal) == 0);
        if (signal == SIGTERM) {
            QVERIFY(stub.waitForFinished(5000));
            QCOMPARE(stub.exitCode(), 128 + 15);
            QTRY_VERIFY(!isRunning(talkerPath + " fill:200000"));
            return;
        }
        // Read only once the signal has been taken: room made earlier could end the wait first.
        QTRY_VERIFY(!TestFiles::read(proc + "/status").contains("ShdPnd:\t0000000000010000"));
        QByteArray got;
        const QDeadlineTimer bound(10000);
        pollfd entry{ends[0], POLLIN, 0};
        char buffer[65536];
        while (got.size() < 200000 && ::poll(&entry, 1, int(bound.remainingTime())) == 1) {
            const ssize_t count = ::read(ends[0], buffer, sizeof buffer);
            got.append(buffer, std::max<ssize_t>(count, 0));
        }
        QCOMPARE(got, QByteArray("0123456789").repeated(20000));
        stub.terminate();
        QVERIFY(stub.waitForFinished(5000));
    }

    // Windows found by their exact title, and asked to close; also windows made without a
    // toolkit: with only the old WM_NAME in Latin-1, or inside a window manager's frame (the
    // manager lists its clients on the root window). ShellDOSEXE returns once its program's
    // "Finished" window shows, and closes it.
    void windows_data()
    {
        QTest::addColumn<WindowRow>("row");
        const QString hand = "Fertig - GR\u00d6SSE " + unique;
        QTest::newRow("exact") << WindowRow{"qt", "Finished - EDIT", "Finished - EDIT"};
        QTest::newRow("prefix-only") << WindowRow{"qt", "Finished - EDITOR", "Finished - EDIT", false};
        QTest::newRow("beyond-ascii") << WindowRow{"qt", "Fertig - GR\u00d6SSE \u2713", "Fertig - GR\u00d6SSE \u2713"};
        QTest::newRow("title-of-the-old-kind") << WindowRow{"xcb", hand, hand};
        QTest::newRow("inside-a-window-managers-frame") << WindowRow{"xcb-framed", hand, hand};
        QTest::newRow("dos-window-seen-and-closed") << WindowRow{"dos"};
        QTest::newRow("dos-title-given-later") << WindowRow{"dos", {}, {}, true, {}, " --late"};
        QTest::newRow("dos-dots-in-folder-names") << WindowRow{"dos", {}, {}, true, "app-1.2/.local/bin"};
        QTest::newRow("dos-negative-time-out-stops-in-the-first-pass") << WindowRow{"dos", {}, {}, true, {}, {}, -1};
    }
    void windows()
    {
        QFETCH(WindowRow, row);
        if (row.kind == u"dos") {
            QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow");
            if (!row.folder.isEmpty()) {
                const QString copy = m_dir.filePath(row.folder + "/finishedwindow");
                QVERIFY(QDir().mkpath(m_dir.filePath(row.folder)) && QFile::copy(program, copy));
                program = copy;
            }
            QElapsedTimer elapsed;
            elapsed.start();
            clsEXE().ShellDOSEXE(u'"' + program + u'"', row.arguments, row.timeOut); // blanks in the path
            QVERIFY2(elapsed.elapsed() < (row.timeOut < 0 ? 5000 : 30000),
                     qPrintable(QString::number(elapsed.elapsed())));
            QTRY_VERIFY(!WindowFinder().find("Finished - FINISHEDWINDOW"));
            return;
        }
        if (row.kind == u"qt") {
            QWidget window;
            window.setWindowTitle(row.title);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTRY_VERIFY_WITH_TIMEOUT(WindowFinder().find(row.title), 10000);
            WindowFinder finder;
            const auto id = finder.find(row.searched);
            QCOMPARE(id.has_value(), row.found);
            if (row.found) {
                QVERIFY(finder.close(*id));
                QTRY_VERIFY(!window.isVisible()); // closed as its close box would
            }
            return;
        }
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
        const bool framed = row.kind == u"xcb-framed";
        const xcb_window_t frame = framed ? newWindow(root) : root;
        const xcb_window_t window = newWindow(frame);
        const QByteArray title = row.title.toLatin1();
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
        QTRY_COMPARE_WITH_TIMEOUT(WindowFinder().find(row.searched), std::optional<quint32>(window), 10000);
    }

    // The command-line host on a display someone sees: configure shows the program list, run a
    // box for a missing program (standard error is no terminal here); each ends with its window.
    void commandLineHostWindows()
    {
        QVERIFY(TestFiles::write(m_dir.filePath("tools.lst"), "Tools,Ghost,/nonexistent/ghost,,0\n"));
        for (const auto &[command, title, status] :
             {std::tuple{QStringList{"configure"}, "Configure Launch Application", 0},
              {QStringList{"run", "Tools", "Ghost"}, "Lanyard", 1}}) {
            QProcess lanyard;
            lanyard.start(LANYARD_TEST_BIN_DIR "/lanyard",
                          QStringList{"--file", m_dir.filePath("tools.lst")} + command);
            WindowFinder finder;
            QTRY_VERIFY_WITH_TIMEOUT(finder.find(title).has_value(), 10000);
            QVERIFY(finder.close(*finder.find(title)));
            QVERIFY(lanyard.waitForFinished(10000));
            QCOMPARE(lanyard.exitCode(), status);
        }
    }
};

QTEST_MAIN(tst_Runner)
#include "tst_runner.moc"

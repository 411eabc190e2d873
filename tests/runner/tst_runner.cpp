// SPDX-License-Identifier: MIT
// Every way a run ends through every runner, failed launches through every door, the capture,
// STUB16.EXE and the window finder, with real processes.
#include "common/Catalogue.h"
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "runner/RunnerClock.h"
#include "runner/WindowFinder.h"
#include "runner/clsEXE.h"

#include <Lanyard/ToolRun.h>

#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Lanyard;

namespace {

const QString talkerPath = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");
const QString talker = u'"' + talkerPath + u'"'; // in a command line: the checkout's path may hold blanks
const QString stubProgram = QStringLiteral(LANYARD_LIB_DIR "/STUB16.EXE");
const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
const char usage[] = "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n";
/// Makes a command line unique on the machine: other test runs may have sleepers too.
const QString unique = QStringLiteral("%1").arg(::getpid(), 7, 10, QChar(u'0'));

/// A runner clock @p speed times faster than the computer's, from 0.
struct FastClock final : RunnerClock
{
    explicit FastClock(double times)
    {
        speed = times;
        elapsed.start();
    }
    double seconds() const override { return last = double(elapsed.nsecsElapsed()) / 1e9 * speed; }
    std::chrono::milliseconds realTimeFor(double seconds) const override
    {
        return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000 / speed)));
    }
    double speed;
    mutable double last = -1; ///< the last reading
    QElapsedTimer elapsed;
};

QString digits(int size) { return QStringLiteral("0123456789").repeated(size / 10 + 1).left(size); }

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

} // namespace

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

    // Every way a run ends, through every runner; the program starts a sleeper only an end by the
    // runner ends, and a helper that tidies up when asked to end.
    void ends_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<QString>("way");
        const QStringList waits{"exits", "killed", "cancelled", "stubborn", "timed-out", "host-quits"};
        const std::map<QString, QStringList> ways{
            {"shell", waits + QStringList{"fast-clock"}},
            {"dos", waits + QStringList{"fast-clock", "negative-time-out", "window", "window-late", "window-dots"}},
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
        QString script = QStringLiteral("[ -z \"$1\" ] || exec >/dev/null 2>&1\n%1%2 %3&\n")
                             .arg(stubborn ? "trap '' TERM\n"
                                  : tidies ? "trap 'wait; exit 0' TERM\n"
                                           : "",
                                  sleeper, way == u"cancelled-after-its-end" ? "" : ">/dev/null 2>&1 ");
        script += tidies ? QStringLiteral("sh -c 'trap \"echo tidied >%1/tidied; exit 0\" TERM; : >%1/ready; while :; "
                                          "do sleep 0.05; done' &\nwhile [ ! -e %1/ready ]; do sleep 0.01; done\n")
                               .arg(dir.path())
                         : ": >" + dir.path() + "/ready\n";
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
        QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow"); // the window rows' DOS program
        if (way == u"window-dots") {
            program = m_dir.filePath("app-1.2/.local/bin/finishedwindow");
            QVERIFY(QDir().mkpath(m_dir.filePath("app-1.2/.local/bin"))
                    && QFile::copy(LANYARD_TEST_BIN_DIR "/finishedwindow", program));
        }

        clsEXE exe;
        const auto clock = std::make_shared<FastClock>(100);
        if (way == u"fast-clock")
            exe.setClock(clock);
        const QHash<QString, int> timeOuts{{"timed-out", 1}, {"fast-clock", 10}, {"negative-time-out", -1}};
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
        // Signals interrupt the host's thread while a program tidies up in its grace.
        std::atomic<bool> storming = way == u"cancelled";
        const pthread_t host = ::pthread_self();
        const std::jthread storm([&storming, host] {
            for (; storming; std::this_thread::sleep_for(std::chrono::milliseconds(5)))
                ::pthread_kill(host, SIGUSR1);
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
            if (way.startsWith(u"window")) // ShellDOSEXE returns once its program's "Finished" window shows
                exe.ShellDOSEXE(u'"' + program + u'"', way == u"window-late" ? " --late" : "", 60);
            else if (runner == u"shell")
                exe.ShellAndWait("sh", ' ' + file + " quiet", timeOuts.value(way, 30));
            else if (runner == u"dos")
                exe.ShellDOSEXE("sh", ' ' + file + " quiet", timeOuts.value(way, 30));
            else if (runner == u"redirect")
                output = ::redirect(exe, "sh " + file, {}, timeOuts.value(way, 30));
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
            QVERIFY2(clock->last > 10, qPrintable(QString::number(clock->last)));
        if (runner == u"redirect")
            QCOMPARE(output, way == u"timed-out" ? "hi\n" + timeoutMessage : QStringLiteral("hi\n"));
        if (killing.interval())
            QCOMPARE(killed, std::optional(true));
        if (way.startsWith(u"window"))
            QTRY_VERIFY(!WindowFinder().find("Finished - FINISHEDWINDOW")); // closed
        if (way == u"deleted" && runner == u"launch")
            apps.reset(); // the reaper outlives it
        if (runner == u"tool") {
            QByteArray got;
            QSignalSpy finished(run, &ToolRun::finished);
            connect(run, &ToolRun::standardOutput, this, [&got](const QByteArray &bytes) { got += bytes; });
            if (way == u"cancelled-after-its-end") {
                // Without the loop, which would see the end and finish the run before the cancel.
                for (const QDeadlineTimer bound(20000);
                     !ProcessCensus::childEndedUnreaped("sh") && !bound.hasExpired();)
                    QThread::msleep(5);
                run->cancel(); // what the ended program left in its group goes too
            } else if (!leaves) {
                QTRY_COMPARE_WITH_TIMEOUT(got, QByteArray("hi\n"), 20000);
                QSignalSpy changed(run, &ToolRun::stateChanged);
                if (way.endsWith(u"deleted")) {
                    way == u"deleted" ? apps.reset() : delete run.data();
                    QVERIFY(!run);
                } else {
                    run->cancel();
                    QCOMPARE(run->state(), ToolRun::State::Cancelled);
                    QCOMPARE(changed.count(), 1);
                    QCOMPARE(finished.count(), 0); // told from the loop
                }
            }
            // The grace is half a second: room for a loaded machine, not for a cancel that never ends.
            if (run) {
                QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
                QCOMPARE(got, way == u"cancelled-after-its-end" ? QByteArray() : QByteArray("hi\n"));
                const QHash<QString, int> codes{{"exits", 3}, {"killed", 137}, {"stubborn", 137}};
                QCOMPARE(finished.at(0).at(0).toInt(), codes.value(way));
                QCOMPARE(run->state(), leaves ? ToolRun::State::Finished : ToolRun::State::Cancelled);
            }
        }
        if (way == u"cancelled" && runner != u"redirect") // the group was asked to end, and had its grace
            QCOMPARE(TestFiles::read(dir.filePath("tidied")), QByteArray("tidied\n"));
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::running(sleeper).size(), qsizetype(leaves), 10000);
        for (const pid_t pid : ProcessCensus::running(sleeper))
            ::kill(pid, SIGKILL);
    }

    // A launch that cannot start, through every door: ExecuteApp, by name and startTool give one
    // reason; the waits their error numbers; the capture the stub's word, or nothing.
    void doors_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cmdLine");
        QTest::addColumn<QString>("reason"); // none: started
        QTest::addColumn<int>("shell");      // 0: started; -1: not asked
        QTest::addColumn<int>("dos");
        QTest::addColumn<QString>("redirect"); // %1: the program
        const QString missing = QStringLiteral("Unable to find the file: ");
        const QString script = m_dir.filePath("script");
        QVERIFY(TestFiles::write(script, "touch pwned\n")
                && QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
        const QString stub = QStringLiteral("STUB16.EXE: cannot run %1: ");
        const auto row = [](const char *tag, const QString &path, const QString &cmdLine, const QString &reason,
                            int shell, int dos, const QString &redirect) {
            QTest::newRow(tag) << path << cmdLine << reason << shell << dos << redirect;
        };
        row("no-such-file", "/nonexistent/program", "", missing + "/nonexistent/program", 53, 53,
            stub + "No such file or directory\n");
        row("not-executable", LANYARD_SOURCE_DIR "/LICENSE", "", "Permission denied", 53, 53,
            stub + "Permission denied\n");
        row("script-without-interpreter", script, "", "Exec format error", 53, 53, stub + "Exec format error\n");
        row("a-folder", m_dir.path(), "", missing + m_dir.path(), 53, 53, stub + "Permission denied\n");
        row("open-quote", "/bin/sleep", "'1", "a quote in the command line is not closed", 5, 5, "");
        row("nothing-to-run", "", "", missing, 5, 5, usage);
        row("quoted-stored-path", '"' + QStringLiteral(LANYARD_TEST_BIN_DIR "/recorder") + '"', "",
            "cannot enter the program's folder: No such file or directory", 0, 0, "");
        row("interpreter-without-drive-path", "COMMAND.COM", "/C ZIP.EXE", missing + "COMMAND.COM", 53, 5,
            stub + "No such file or directory\n");
        row("cmd-with-drive-path", "cmd.exe", "/C C:\\TOOLS\\ZIP.EXE", missing + "cmd.exe", 53, 53,
            stub + "No such file or directory\n");
        row("no-descriptors", "/bin/true", "", "", 0, 0, ""); // startTool alone needs descriptors, for its pipes
        row("no-such-application", "/bin/true", "", "no such application", -1, -1, "");
    }
    void doors()
    {
        QFETCH(QString, path);
        QFETCH(QString, cmdLine);
        QFETCH(QString, reason);
        QFETCH(int, shell);
        QFETCH(int, dos);
        QFETCH(QString, redirect);
        ExternalApps apps;
        apps.setShowMissingProgram(false);
        apps.AddApp("T", "A", path, cmdLine, false);
        const QString app = shell < 0 ? "a" : "A"; // names match exactly
        const QString program = path.contains(u' ') ? '"' + path + '"' : path;
        const bool starved = QByteArray(QTest::currentDataTag()) == "no-descriptors";
        const QString toolReason = starved ? "Too many open files" : reason;
        QSignalSpy launchFailed(&apps, &ExternalApps::launchFailed);
        auto famine = starved ? std::make_unique<DescriptorFamine>() : nullptr;
        const bool executed = apps.ExecuteApp("T", app);
        const QVariantMap byName = apps.invoke("ExecuteApp", "call", {"T", app});
        ToolRun *run = apps.startTool("T", app, "input");
        QSignalSpy failed(run, &ToolRun::failedToStart); // told from the loop, once the host could connect
        QCOMPARE(shell < 0 ? -1 : errorOf([&] { clsEXE().ShellAndWait(program, ' ' + cmdLine); }), shell);
        QCOMPARE(dos < 0 ? -1 : errorOf([&] { clsEXE().ShellDOSEXE(program, ' ' + cmdLine); }), dos);
        clsEXE runner;
        QCOMPARE(shell != 0 ? ::redirect(runner, program + ' ' + cmdLine) : QString(), redirect.replace("%1", path));
        famine.reset();
        QCOMPARE(QVariantList({executed, byName.value("error"), byName.value("value")}),
                 QVariantList({reason.isEmpty(), 0, reason.isEmpty()}));
        QCOMPARE(run->failure(), toolReason);
        QList<QVariantList> told;
        for (const QString &why : {reason, reason, toolReason})
            told << QVariantList{"T", app, why};
        told.removeIf([](const QVariantList &one) { return one.last().toString().isEmpty(); });
        QCOMPARE(QList<QVariantList>(launchFailed.cbegin(), launchFailed.cend()), told);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        run->cancel(); // nothing to end
        QCOMPARE(run->state(), ToolRun::State::FailedToStart);
        QVERIFY(!QFile::exists("pwned") && !QFile::exists(m_dir.filePath("pwned")));
    }

    // The capture hands on all a command writes, in order, in pieces of at most 256 characters; a
    // cancel or a time-out ends the command with what it started, a full pipe or not.
    void redirect_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<QString>("handler"); // what a handler, a timer or the caller does meanwhile
        QTest::addColumn<int>("minMs");
        const auto row = [](const char *tag, const QString &command, const QString &expected,
                            const QString &startText = {}, int timeOut = 0, const QString &handler = {},
                            int minMs = 0) {
            QTest::newRow(tag) << command << expected << startText << timeOut << handler << minMs;
        };
        const auto t = [](const char *actions) { return talker + ' ' + QString::fromUtf8(actions); };
        row("one-piece", t("'out:hello world' drain"), "hello world");
        row("more-than-the-pipe-holds", t("fill:300000 drain"), digits(300000));
        row("stdout-and-stderr", t("out:one drain err:two drain out:three drain"), "onetwothree");
        row("start-text-first", t("'out:GO on' drain"), "GO on", "go");
        row("start-text-of-other-case", t("'out:noise StArT here' drain"), "StArT here", "start");
        row("start-text-across-reads", t("fill:600 drain out:ST drain 'out:ART rest' drain out:more drain"),
            "START restmore", "start");
        row("start-text-never-found", t("fill:2000 out:STAR drain"), "", "start");
        row("start-text-after-a-mebibyte", t("fill:1048576 out:GO drain"), "GO", "go");
        // A last word of a backslash stays a word: the time-out word the stub gets after it counts.
        row("ends-in-a-backslash", t("out:x drain \\"), "x");
        // The command line reaches the command as UTF-8; each byte of output is one character.
        row("one-character-a-byte", t("'out:caf\u00e9' drain"), "caf\u00c3\u00a9");
        // A time-out of T ends a command silent for more than T seconds, and only then.
        row("one-second-lets-it-print", t("sleep:400 out:late sleep:30000"), "late" + timeoutMessage, {}, 1, {}, 1400);
        // On a clock ten times fast: output every 5 s keeps a 20 s time-out from ending a 25 s command.
        row("output-keeps-it-alive",
            t("out:a sleep:500 out:b sleep:500 out:c sleep:500 out:d sleep:500 out:e sleep:500 out:f drain"), "abcdef",
            {}, 20, "fast");
        row("zero-never-times-out", t("out:a sleep:300 out:b drain"), "ab", {}, 0, "fast");
        row("cancel-in-a-handler", t("out:first sleep:20000 out:second"), "first", {}, 30, "cancel");
        row("cancel-from-host-code", "sleep 20", "", {}, 30, "timer");
        row("cancel-before-the-call-is-cleared", t("out:done drain"), "done", {}, 30, "before");
        // The command is blocked on a full pipe, and has a child of its own.
        const QString full =
            QStringLiteral("sh -c 'sleep 45.5%1 & exec %2 fill:1000000 sleep:30000'").arg(unique, talker);
        row("cancel-with-a-full-pipe", full, digits(256), {}, 30, "cancel");
        row("time-out-with-a-full-pipe", full, digits(256) + timeoutMessage, {}, 1, "slow");
        // Processes that left the command's process group or session are ended all the same.
        row("time-out-after-timeout-left-the-group", "sh -c 'echo go; timeout 100 sleep 45.5" + unique + "'",
            "go\n" + timeoutMessage, {}, 1);
        row("cancel-after-setsid-left-the-session", "sh -c 'echo go; setsid sh -c \"sleep 45.5" + unique + " & wait\"'",
            "go\n", {}, 30, "cancel");
        // Output still in the pipe once the command has ended is not handed on.
        row("output-of-an-ended-command-left", t("out:first drain fill:60000"), "first", {}, 0, "wait");
        // The command and the stub get process groups of their own, in the host's session.
        row("in-the-hosts-session",
            QStringLiteral("sh -c 'test $(cut \"-d \" -f6 /proc/$$/stat) = %1 && test $(cut \"-d \" -f5 "
                           "/proc/$$/stat) != %2 && test $(cut \"-d \" -f5 /proc/$PPID/stat) != %2 && echo same'")
                .arg(::getsid(0))
                .arg(::getpgrp()),
            "same\n");
    }
    void redirect()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QFETCH(QString, startText);
        QFETCH(int, timeOut);
        QFETCH(QString, handler);
        QFETCH(int, minMs);
        clsEXE runner;
        if (handler == u"fast")
            runner.setClock(std::make_shared<FastClock>(10));
        QVERIFY(!runner.CancelRequested());
        if (handler == u"cancel")
            connect(&runner, &clsEXE::RedirOutput, &runner, &clsEXE::Cancel);
        else if (handler == u"slow") // busy for longer than the time-out
            connect(
                &runner, &clsEXE::RedirOutput, this, [] { QThread::msleep(1500); }, Qt::SingleShotConnection);
        else if (handler == u"timer")
            QTimer::singleShot(100, &runner, &clsEXE::Cancel);
        else if (handler == u"before")
            runner.Cancel();
        else if (handler == u"wait")
            connect(&runner, &clsEXE::RedirOutput, this, [] {
                QVERIFY(QTest::qWaitFor([] { return ProcessCensus::childEndedUnreaped("STUB16.EXE"); }, 10000));
            });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(::redirect(runner, command, startText, timeOut), expected);
        QVERIFY2(elapsed.elapsed() >= minMs && elapsed.elapsed() < 10000,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(runner.CancelRequested(), handler == u"cancel" || handler == u"timer");
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning("sleep 45.5" + unique) && !isRunning(talkerPath), 5000);
    }

    // STUB16.EXE on its own (T: the talker): what it passes on, its exit code; ending its command
    // ends its process group and what left it, also after the command has gone.
    void stub_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        // merged: one pipe for both; reader-gone: nobody reads stdout; limit:N the descriptor limit (a
        // sanitizer needs one at the exit); scanned: no kernel list of children; term:N: SIGTERM once N run.
        QTest::addColumn<QString>("setup");
        const auto row = [](const QString &tag, const QString &command, int exitCode, const QByteArray &out,
                            const QByteArray &err = {}, const QString &setup = {}) {
            QTest::newRow(qPrintable(tag)) << command << exitCode << out << err << setup;
        };
        row("exit-code-passed-on", "T out:a err:b exit:7 -1", 7, "a", "b");
        row("output-through-the-relay", "T out:a err:b fill:100000 5000", 0,
            "a" + QByteArray("0123456789").repeated(10000), "b");
        row("silence-ends-the-command", "T out:x sleep:30000 300", 143, "x");
        row("no-silence-allowed", "T sleep:30000 0", 143, {});
        // A process the command left behind ends first: no reason to end the command.
        row("orphan-ends-first", "sh -c (sleep\\ 0.1\\ &);\\ sleep\\ 0.6;\\ echo\\ done 5000", 0, "done\n");
        // Each piece of output starts the silence anew: pauses shorter than it, over a longer time.
        row("output-keeps-it-running",
            "T out:1 sleep:400 out:2 sleep:400 out:3 sleep:400 out:4 sleep:400 out:5 sleep:400 out:6 2000", 0,
            "123456");
        row("missing-program", "/nonexistent/x -1", 127, {},
            "STUB16.EXE: cannot run /nonexistent/x: No such file or directory\n");
        row("time-out-not-a-number", "T out:a 10s", 2, {}, usage);
        row("no-descriptor-for-a-relay", "T out:a 5000", 127, {},
            "STUB16.EXE: cannot create a pipe: Too many open files\n", "limit:6");
        row("no-descriptor-at-all", "T out:a 5000", 127, {}, "STUB16.EXE: Too many open files\n", "limit:4");
        row("no-relay-needs-none", "T out:a -1", 0, "a", {}, "limit:6");
        QString alternating = "T";
        QByteArray inTurn;
        for (int i = 0; i < 20; ++i) {
            alternating += QString(" out:o%1 err:e%1").arg(i);
            inTurn += QString("o%1e%1").arg(i).toLatin1();
        }
        row("one-relay-keeps-the-order-of-a-shared-pipe", alternating + " 5000", 0, inTurn, {}, "merged");
        // What the command says is dropped once nobody reads the stub; the command runs on to its end.
        row("reader-gone", "T fill:100000 err:b exit:3 5000", 3, {}, "b", "reader-gone");
        // A sleeper in a session of its own is found by the stub, its subreaper, listed or scanned.
        for (const QString list : {"listed", "scanned"}) {
            for (const QString timeOut : {"200", "-1"}) {
                const QString n = QString::number(list.size()) + timeOut.right(1) + unique;
                row(QStringLiteral("%1-ends-the-group-%2").arg(timeOut == u"-1" ? "sigterm" : "time-out", list),
                    QStringLiteral("sh -c setsid\\ sleep\\ 31.%1\\ &\\ sleep\\ 32.%1\\ &\\ sleep\\ 33.%1 %2")
                        .arg(n, timeOut),
                    143, {}, {}, QStringLiteral("%1 term:%2:sleep 33.%3").arg(list).arg(timeOut == u"-1").arg(n));
            }
        }
    }
    void stub()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QString, setup);
        QStringList arguments; // words split at blanks, "\ " a blank in a word
        for (const QString &word : command.split(QRegularExpression("(?<!\\\\) ")))
            arguments << (word == u"T" ? talkerPath : QString(word).replace("\\ ", " "));
        const QString term = setup.section(QStringLiteral("term:"), 1); // N:marker
        const int descriptors = setup.section(QStringLiteral("limit:"), 1).toInt();
        QProcess process;
        if (setup.startsWith(u"scanned"))
            process.setEnvironment(QProcess::systemEnvironment()
                                   << "LD_PRELOAD=" LANYARD_TEST_BIN_DIR "/nochildlist.so");
        if (setup == u"merged")
            process.setProcessChannelMode(QProcess::MergedChannels);
        process.setChildProcessModifier([&setup, descriptors] {
            int ends[2];
            if (setup == u"reader-gone" && ::pipe(ends) == 0 && ::close(ends[0]) == 0)
                ::dup2(ends[1], STDOUT_FILENO);
            const rlimit limit{rlim_t(descriptors), rlim_t(descriptors)};
            if (descriptors && ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
                ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        process.start(stubProgram, arguments);
        if (term.section(u':', 0, 0).toInt() > 0) {
            QTRY_COMPARE_WITH_TIMEOUT(int(ProcessCensus::running(term.section(u':', 1)).size()),
                                      term.section(u':', 0, 0).toInt(), 10000);
            process.terminate();
        }
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, exitCode);
        QCOMPARE(process.readAllStandardOutput(), out);
        QCOMPARE(setup == u"merged" ? QByteArray() : process.readAllStandardError(), err);
        if (!term.isEmpty()) // what the command started, also what left its group and session (every "sleep 3…")
            QTRY_VERIFY(!isRunning("sleep 3"));
    }

    // Windows found by their exact title (also beyond ASCII) and closed as their close box would.
    void windows_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("searched");
        QTest::newRow("prefix-only") << QStringLiteral("Finished - EDITOR") << "Finished - EDIT";
        QTest::newRow("beyond-ascii") << QStringLiteral("Fertig - GR\u00d6SSE \u2713") << "Fertig - GR\u00d6SSE \u2713";
    }
    void windows()
    {
        QFETCH(QString, title);
        QFETCH(QString, searched);
        QWidget window;
        window.setWindowTitle(title);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(WindowFinder().find(title), 10000);
        WindowFinder finder;
        const auto id = finder.find(searched);
        QCOMPARE(id.has_value(), searched == title);
        if (id) {
            QVERIFY(finder.close(*id));
            QTRY_VERIFY(!window.isVisible());
        }
    }
};

QTEST_MAIN(tst_Runner)
#include "tst_runner.moc"

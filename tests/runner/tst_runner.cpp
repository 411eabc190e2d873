// SPDX-License-Identifier: MIT
// Every way a run ends through every runner, failed launches through every door, the capture.
#include "common/Catalogue.h"
#include "common/DescriptorFamine.h"
#include "common/Files.h"
#include "common/LanyardProcess.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ProcessSpawn.h"
#include "runner/RunnerClock.h"
#include "runner/WindowFinder.h"
#include "runner/clsEXE.h"

#include <Lanyard/ToolRun.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <csignal>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace Lanyard;

namespace {

const QString talkerPath = QStringLiteral(LANYARD_TEST_BIN_DIR "/talker");
const QString talker = u'"' + talkerPath + u'"'; // in a command line: the checkout's path may hold blanks
const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
const char usage[] = "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n";
/// Makes a command line unique on the machine: other test runs may have sleepers too.
const QString unique = QStringLiteral("%1").arg(::getpid(), 7, 10, QChar(u'0'));

/// A runner clock @p speed times faster than the computer's, from 0.
struct FastClock final : RunnerClock
{
    explicit FastClock(double times) { speed = times, elapsed.start(); }
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
            QVERIFY((warmUp.show(), QTest::qWaitForWindowExposed(&warmUp)));
        }
        m_descriptorsAtStart = (QCoreApplication::processEvents(), ProcessCensus::openDescriptors(false));
    }
    void cleanup() { QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::children(), QStringList(), 10000); }
    void cleanupTestCase()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ProcessCensus::openDescriptors(false), m_descriptorsAtStart, 5000);
    }

    // The program starts a sleeper only the runner's end ends, and a helper that tidies up when asked.
    void ends_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<QString>("way");
        const QStringList waits{"exits", "killed", "cancelled", "stubborn", "timed-out"};
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
        const bool leaves = QStringList{"exits", "killed"}.contains(way) || runner == u"launch";
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
                                            {"cancelled-after-its-end", "exit 0"}};
        script += "echo hi\n"
                  + tails.value(way, stubborn ? "while :; do sleep 0.05; done"
                                     : tidies ? "wait"
                                              : "sleep 0.2");
        const QString file = dir.filePath("run.sh");
        QVERIFY(TestFiles::write(file, script.toUtf8()));
        QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/finishedwindow"); // the window rows' DOS program
        if (way == u"window-dots") {
            program = m_dir.filePath("app-1.2/.local/bin/fen\u00eatre"); // its title beyond ASCII too
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
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(10);
        QElapsedTimer elapsed;
        elapsed.start();
        const double cpuBefore = threadCpuMs();
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
        const qint64 waitedMs = elapsed.elapsed();
        const double cpuMs = threadCpuMs() - cpuBefore;
        const int minMs = QHash<QString, int>{{"timed-out", 1000}, {"fast-clock", 85}}.value(way);
        QVERIFY2(waitedMs >= minMs && waitedMs < 10000, qPrintable(QString::number(waitedMs)));
        QVERIFY2(minMs < 400 || (ticks >= minMs / 100 && cpuMs < 100), qPrintable(QString::number(cpuMs)));
        if (way == u"fast-clock") // stopped only once past the deadline
            QVERIFY2(clock->last > 10, qPrintable(QString::number(clock->last)));
        if (runner == u"redirect")
            QCOMPARE(output, way == u"timed-out" ? "hi\n" + timeoutMessage : QStringLiteral("hi\n"));
        if (killing.interval())
            QCOMPARE(killed, std::optional(true));
        if (way.startsWith(u"window"))
            QTRY_VERIFY(!WindowFinder().find("Finished - " + QFileInfo(program).baseName().toUpper())); // closed
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

    // A window manager's list may name a window that has gone since: the finder passes over it. (Appended to, not
    // replaced: on a desktop with a window manager, that manager rewrites its list at its next change.)
    void windowsGoneSinceListed()
    {
        xcb_connection_t *x = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root, gone = xcb_generate_id(x);
        const auto clients = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, 16, "_NET_CLIENT_LIST"), nullptr);
        const auto settled = [x] { std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); };
        xcb_create_window(x, 0, gone, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, gone, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 4, "Gone");
        xcb_change_property(x, XCB_PROP_MODE_APPEND, root, clients->atom, XCB_ATOM_WINDOW, 32, 1, &gone);
        QVERIFY((settled(), WindowFinder().find("Gone")));
        QVERIFY((xcb_destroy_window(x, gone), settled(), !WindowFinder().find("Gone")));
        std::free(clients), xcb_disconnect(x);
    }

    // ExecuteApp, by name and startTool give one reason; the waits error numbers; the capture the stub's word.
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
        const QString program = path.contains(u' ') && !path.startsWith(u'"') ? '"' + path + '"' : path;
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
            why.isEmpty() ? void() : told.append(QVariantList{"T", app, why});
        QCOMPARE(QList<QVariantList>(launchFailed.cbegin(), launchFailed.cend()), told);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        run->cancel(); // nothing to end
        QCOMPARE(run->state(), ToolRun::State::FailedToStart);
        QVERIFY(!QFile::exists("pwned") && !QFile::exists(m_dir.filePath("pwned")));
    }

    // All a command writes, in pieces of at most 256; a cancel or time-out ends what it started.
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

    // The stub on its own, output and errors in one pipe: all a command wrote, in order, also when it ended while
    // the stub waited in a full pipe; a time-out counts silence, and ends a chain deaf to SIGTERM that leaves the
    // session, found by looking.
    void stub_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("output");
        QStringList alternating{talkerPath};
        QByteArray inTurn;
        for (int i = 0; i < 20; ++i)
            alternating << QString("out:o%1").arg(i) << QString("err:e%1").arg(i) << "sleep:100",
                inTurn += QString("o%1e%1").arg(i).toLatin1();
        QTest::newRow("ended-while-the-pipe-was-full")
            << QStringList{talkerPath, "fill:100000", "drain", "60000"} << digits(100000).toLatin1();
        QTest::newRow("one-relay-keeps-the-order-and-talk-the-time-out-off") << (alternating << "1000") << inTurn;
        const QString chain =
            "trap '' TERM; echo go; [ $1 -gt 0 ] && setsid sh -c \"$0\" \"$0\" $(($1 - 1)) & exec sleep 33." + unique;
        QTest::newRow("time-out-ends-a-chain-deaf-to-sigterm")
            << QStringList{"sh", "-c", chain, chain, "3", "300"} << QByteArray("go\ngo\ngo\ngo\n");
    }
    void stub()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, output);
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        const UniqueFd readEnd(ends[0]);
        SpawnOptions options;
        options.stdoutFd = options.stderrFd = ends[1];
        qputenv("LD_PRELOAD", LanyardProcess::binaryFolder(LanyardProcess::nobody).toLocal8Bit() + "/quirks.so");
        ChildProcess stub(ProcessSpawn::start(LANYARD_LIB_DIR "/STUB16.EXE", command, options).pid);
        qunsetenv("LD_PRELOAD");
        ::close(ends[1]);
        const QString parent = QString::number(stub.pid());
        QVERIFY(QTest::qWaitFor( // nothing is read until the command has written and ended
            [&] {
                int unread = 0;
                return ::ioctl(readEnd.get(), FIONREAD, &unread) == 0 && unread > 0
                       && std::ranges::none_of(ProcessCensus::processes(), [&parent](const auto &process) {
                              return process.second.value(1) == parent && process.second.value(0) != u"Z";
                          });
            },
            10000));
        ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
        QByteArray got;
        char buffer[65536];
        QVERIFY(QTest::qWaitFor(
            [&] {
                const ssize_t read = ::read(readEnd.get(), buffer, sizeof buffer);
                got.append(buffer, std::max<ssize_t>(read, 0));
                return read == 0;
            },
            10000));
        QVERIFY(stub.waitForEnd(10000));
        stub.reap();
        QCOMPARE(got, output);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning("sleep 33." + unique), 5000);
    }
};

QTEST_MAIN(tst_Runner)
#include "tst_runner.moc"

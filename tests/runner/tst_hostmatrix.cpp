// SPDX-License-Identifier: MIT
// Launching and the process runner in hosts that behave like real programs: hosts that fork
// helpers ending with exit() or _exit(), that have no descriptor left, that run the runner on
// several threads, that ignore or handle SIGCHLD, and that see the local clock step (a TZ rule
// with a daylight-saving change, or midnight, a second ahead). Every environment runs the same
// scenarios in a host process of its own (this program, started with --host), all hosts at
// once; each scenario reports the CPU the host used while waiting, how long the wait took, what
// it handed on, and what was left running.
#include "common/DescriptorFamine.h"
#include "common/ProcessCensus.h"
#include "launch/ChildProcess.h"
#include "launch/ChildReaper.h"
#include "launch/Launcher.h"
#include "launch/PlaceholderTable.h"
#include "launch/ProcessSpawn.h"
#include "runner/clsEXE.h"
#include "util/UniqueFd.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Lanyard;

namespace {

const QString timeoutMessage = QStringLiteral("Timeout!\r\nProcess failed");
// CPU of the host per second of waiting; a wait that spins takes most of a core even on a
// loaded machine, an idle one a few milliseconds.
constexpr double MaxCpuMsPerSecond = 150;
// How much later than its due time a wait may end on a loaded machine.
constexpr int LateMs = 3000;
constexpr int HostTimeOutMs = 120000;

const QStringList environments{"plain",      "fork-exit",       "fork-_exit",      "no-descriptors",
                               "threads",    "sigchld-ignored", "sigchld-handled", "clock-forward",
                               "clock-back", "midnight",        "stdin-closed"};

/// What a scenario does and what it should find. Each run has a tag, digits that make its
/// processes' command lines unique on the machine.
struct Scenario
{
    QString name;
    int dueMs;        ///< when the wait should end
    QString expected; ///< what RedirOutput hands on
    bool clockSensitive = false;
};

const std::vector<Scenario> scenarios{
    {"launch", 1200},
    {"shell-end", 300},
    {"shell-time-out", 2000, {}, true},
    {"dos-time-out", 3000, {}, true},
    // The command prints for a second, then leaves its process group (coreutils timeout) and
    // is silent: the two-second time-out comes two seconds after the last output and ends the
    // sleeper too. (On a busy machine the output may come later, or in part.)
    {"redirect", 2000, "abcde" + timeoutMessage, true},
};

// ---- the host side -------------------------------------------------------------------------

double processCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/// "n/hh:mm:ss" of a POSIX TZ rule: the zero-based day of the year (leap days counted) and the time.
QByteArray ruleMoment(const QDateTime &moment)
{
    return QByteArray::number(moment.date().dayOfYear() - 1) + '/' + moment.time().toString("hh:mm:ss").toLatin1();
}

/// Makes the local clock step 1.3 to 2.3 seconds from now (a rule has whole seconds), while
/// the scenarios wait and the redirect's command is silent: an hour ahead or back, or past
/// midnight.
void stepLocalClockSoon(const QString &environment)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime soon = now.addMSecs(2300 - now.time().msec());
    QByteArray rule;
    if (environment == u"clock-forward") {
        rule = "LST0LDT-1," + ruleMoment(soon) + ',' + ruleMoment(soon.addDays(2).addSecs(3600));
    } else if (environment == u"clock-back") {
        rule = "LST0LDT-1," + ruleMoment(soon.addDays(-2)) + ',' + ruleMoment(soon.addSecs(3600));
    } else {
        const int offset = (86400 - soon.time().msecsSinceStartOfDay() / 1000) % 86400;
        rule = "LMT-" + QTime(0, 0).addSecs(offset).toString("hh:mm:ss").toLatin1();
    }
    qputenv("TZ", rule);
    ::tzset();
}

void reapEverything(int)
{
    const int savedErrno = errno;
    while (::waitpid(-1, nullptr, WNOHANG) > 0) { }
    errno = savedErrno;
}

/// What one run of a scenario on one thread found.
struct Run
{
    qint64 wallMs = 0; ///< from the call to its end, or from the last piece of output before a time-out
    QString output;
};

Run runScenario(const QString &name, const QString &tag)
{
    QElapsedTimer wall;
    wall.start();
    Run run;
    if (name == u"launch") {
        Launcher::execute("/bin/sleep", "1.2" + tag, PlaceholderTable(), {});
        const QDeadlineTimer bound(20000);
        while (ChildReaper::instance().pending() > 0 && !bound.hasExpired())
            QThread::msleep(20);
    } else if (name == u"shell-end") {
        clsEXE().ShellAndWait("sleep", " 0.3" + tag);
    } else if (name == u"shell-time-out") {
        clsEXE().ShellAndWait("sleep", " 30." + tag, 2);
    } else if (name == u"dos-time-out") {
        clsEXE().ShellDOSEXE("sleep", " 30." + tag, 3);
    } else {
        clsEXE runner;
        qint64 lastPieceMs = 0;
        QObject::connect(&runner, &clsEXE::RedirOutput, [&](const QString &piece) {
            run.output += piece;
            if (piece != timeoutMessage)
                lastPieceMs = wall.elapsed();
        });
        // The shell's own printf: no helper program that another test might be looking for.
        runner.RedirectDOSEXE(QStringLiteral("sh -c 'printf a; sleep 0.25; printf b; sleep 0.25; printf c; sleep 0.25; "
                                             "printf d; sleep 0.25; printf e; exec timeout 100 sleep 30.%1'")
                                  .arg(tag),
                              {}, 2);
        // The silence is counted from the last output, whenever a busy machine let it come.
        run.wallMs = wall.elapsed() - lastPieceMs;
        return run;
    }
    run.wallMs = wall.elapsed();
    return run;
}

/// Processes of the scenario still running once a bounded wait for their end is over.
int leftRunning(const QStringList &markers)
{
    const auto count = [&markers] {
        int found = 0;
        for (const QString &marker : markers)
            found += int(ProcessCensus::running(marker).size());
        return found;
    };
    const QDeadlineTimer bound(3000);
    while (count() > 0 && !bound.hasExpired())
        QThread::msleep(20);
    return count();
}

/// A program launched for a second, so that the reaper runs.
void launchBackground() { Launcher::execute("/bin/sleep", "1", PlaceholderTable(), {}); }

/// A helper the host forks while a launched program runs; it ends at once with exit() or _exit().
pid_t forkHelper(bool withExit)
{
    launchBackground();
    const pid_t helper = ::fork();
    if (helper == 0) {
        if (withExit)
            std::exit(0);
        ::_exit(0);
    }
    return helper;
}

/// "ok" when the helper ended by itself with status 0 within a bounded wait (generous: in a
/// sanitizer build its exit() runs a leak check, which a busy machine makes slow).
QString helperEnd(pid_t helper)
{
    const QDeadlineTimer bound(30000);
    int status = 0;
    while (::waitpid(helper, &status, WNOHANG) == 0) {
        if (bound.hasExpired()) {
            ::kill(helper, SIGKILL);
            ::waitpid(helper, &status, 0);
            return QStringLiteral("hung");
        }
        QThread::msleep(10);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QStringLiteral("ok") : QStringLiteral("failed");
}

void hostScenario(const QString &environment, int environmentIndex, int scenarioIndex)
{
    const Scenario &scenario = scenarios[size_t(scenarioIndex)];
    const int threads = environment == u"threads" ? 4 : 1;
    QStringList tags;
    for (int thread = 0; thread < threads; ++thread)
        tags << QStringLiteral("%1%2%3%4")
                    .arg(environmentIndex, 2, 10, QChar(u'0'))
                    .arg(scenarioIndex)
                    .arg(thread)
                    .arg(::getpid(), 7, 10, QChar(u'0')); // other test runs on the machine look for their own

    pid_t helper = -1;
    if (environment.startsWith(u"fork-"))
        helper = forkHelper(environment == u"fork-exit");
    if (environment == u"no-descriptors") // the reaper runs already when the descriptors run out
        launchBackground();
    if (scenario.clockSensitive && (environment.startsWith(u"clock-") || environment == u"midnight"))
        stepLocalClockSoon(environment);

    std::vector<Run> runs(static_cast<size_t>(threads));
    std::optional<DescriptorFamine> famine;
    if (environment == u"no-descriptors")
        famine.emplace();
    const double cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    {
        if (threads == 1) {
            runs[0] = runScenario(scenario.name, tags[0]);
        } else {
            std::vector<std::thread> running;
            for (int thread = 0; thread < threads; ++thread)
                running.emplace_back([&, thread] { runs[size_t(thread)] = runScenario(scenario.name, tags[thread]); });
            for (std::thread &thread : running)
                thread.join();
        }
    }
    // A wait shorter than a second is counted as one: what a start costs is no sign of spinning.
    const double cpuMsPerSecond = (processCpuMs() - cpuBefore) / std::max<double>(wall.elapsed(), 1000) * 1000;
    famine.reset();

    QStringList markers;
    for (const QString &tag : tags)
        markers << "sleep 30." + tag << "timeout 100 sleep 30." + tag << "/bin/sleep 1.2" + tag << "sleep 0.3" + tag;
    const int left = leftRunning(markers);
    const QDeadlineTimer bound(5000);
    while (ChildReaper::instance().pending() > 0 && !bound.hasExpired())
        QThread::msleep(20);
    const QString helperResult = helper > 0 ? helperEnd(helper) : QStringLiteral("ok");
    qint64 shortest = runs[0].wallMs;
    qint64 longest = runs[0].wallMs;
    QString output = runs[0].output;
    for (const Run &run : runs) {
        shortest = std::min(shortest, run.wallMs);
        longest = std::max(longest, run.wallMs);
        if (run.output != output)
            output = "differs by thread: " + run.output;
    }
    std::printf("%s shortest=%lld longest=%lld cpu=%.1f left=%d children=%d helper=%s output=%s\n",
                qPrintable(scenario.name), shortest, longest, cpuMsPerSecond, left,
                int(ProcessCensus::children().size()), qPrintable(helperResult),
                output.toUtf8().toPercentEncoding().constData());
    std::fflush(stdout);
}

int runHost(const QString &environment)
{
    const int environmentIndex = int(environments.indexOf(environment));
    if (environmentIndex < 0)
        return 2;
    qunsetenv("DISPLAY"); // no window is looked for: the same in every environment
    // These hosts have a timer of their own, which wakes the runner's waits now and then.
    QTimer hostTimer;
    if (environment.startsWith(u"clock-") || environment == u"midnight")
        hostTimer.start(100);
    if (environment == u"stdin-closed") {
        // A daemon's host: the first descriptor the runner opens is 0.
        ::close(STDIN_FILENO);
    }
    if (environment == u"sigchld-ignored") {
        ::signal(SIGCHLD, SIG_IGN);
    } else if (environment == u"sigchld-handled") {
        struct sigaction action
        {
        };
        action.sa_handler = reapEverything;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGCHLD, &action, nullptr); // no SA_RESTART: waits see EINTR
    }
    for (int i = 0; i < int(scenarios.size()); ++i)
        hostScenario(environment, environmentIndex, i);
    return 0;
}

} // namespace

// ---- the test side -------------------------------------------------------------------------

/// A host started by the test: its output (standard output and error) on one pipe.
struct Host
{
    std::unique_ptr<ChildProcess> process;
    UniqueFd output;
    QByteArray text;
};

class tst_HostMatrix : public QObject
{
    Q_OBJECT

    // The hosts start through the library's own spawn, which works in every build the test runs
    // in (QProcess's clone() is more than ThreadSanitizer follows).
    std::map<QString, Host> m_hosts;
    bool m_collected = false;
    QHash<QString, QString> m_reports;  ///< "environment/scenario" -> its line
    QHash<QString, QString> m_failures; ///< environment -> why its host gave no report

    /// Reads every host's output until all have ended, within a bound; takes their reports.
    void collect()
    {
        if (std::exchange(m_collected, true))
            return;
        const QDeadlineTimer bound(HostTimeOutMs);
        for (;;) {
            std::vector<pollfd> open;
            std::vector<Host *> reading;
            for (auto &[environment, host] : m_hosts) {
                if (host.output.isValid()) {
                    open.push_back({host.output.get(), POLLIN, 0});
                    reading.push_back(&host);
                }
            }
            if (open.empty() || bound.hasExpired())
                break;
            ::poll(open.data(), nfds_t(open.size()), int(std::min<qint64>(bound.remainingTime(), 1000)));
            for (size_t i = 0; i < open.size(); ++i) {
                if (open[i].revents == 0)
                    continue;
                char buffer[4096];
                const ssize_t got = ::read(open[i].fd, buffer, sizeof buffer);
                if (got > 0)
                    reading[i]->text.append(buffer, got);
                else if (got == 0 || errno != EINTR)
                    reading[i]->output.reset();
            }
        }
        for (auto &[environment, host] : m_hosts) {
            const bool ended = !host.output.isValid() && host.process->waitForEnd(5000);
            if (!ended)
                host.process->terminate(0);
            const std::optional<int> status = host.process->exitCode();
            host.process->reap();
            if (!ended)
                m_failures.insert(environment, "the host did not end: " + host.text);
            else if (status != 0)
                m_failures.insert(environment, "the host failed: " + host.text);
            for (const QByteArray &line : host.text.split('\n')) {
                if (line.contains(" shortest="))
                    m_reports.insert(environment + '/' + QString::fromUtf8(line.left(line.indexOf(' '))),
                                     QString::fromUtf8(line));
            }
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A helper forked from a host with threads cannot run LeakSanitizer's check at its exit
        // (the sanitizer's own locks may be held by a thread it did not inherit): in a sanitizer
        // build the hosts that fork go without it.
        const QByteArray asanOptions = qgetenv("ASAN_OPTIONS");
        for (const QString &environment : environments) {
            qputenv("ASAN_OPTIONS", environment.startsWith(u"fork-") ? asanOptions + ":detect_leaks=0" : asanOptions);
            int ends[2];
            QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
            const UniqueFd writeEnd(ends[1]);
            SpawnOptions options;
            options.stdoutFd = writeEnd.get();
            options.stderrFd = writeEnd.get();
            const SpawnResult started = ProcessSpawn::start(QCoreApplication::applicationFilePath(),
                                                            {"--host", environment}, options);
            QVERIFY(started.started());
            m_hosts.emplace(environment, Host{std::make_unique<ChildProcess>(started.pid), UniqueFd(ends[0]), {}});
        }
        qputenv("ASAN_OPTIONS", asanOptions);
    }

    void matrix_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("scenario");
        for (const QString &environment : environments) {
            for (int i = 0; i < int(scenarios.size()); ++i)
                QTest::addRow("%s/%s", qPrintable(environment), qPrintable(scenarios[size_t(i)].name))
                    << environment << i;
        }
    }
    void matrix()
    {
        QFETCH(QString, environment);
        QFETCH(int, scenario);
        const Scenario &expected = scenarios[size_t(scenario)];
        collect();
        QVERIFY2(!m_failures.contains(environment), qPrintable(m_failures.value(environment)));
        const QString report = m_reports.value(environment + '/' + expected.name);
        QVERIFY2(!report.isEmpty(), "no report");
        QHash<QString, QString> fields;
        for (const QString &field : report.split(u' ').mid(1))
            fields.insert(field.section(u'=', 0, 0), field.section(u'=', 1));

        // Without a descriptor no pipe can be made: RedirectDOSEXE ends quietly at once.
        const bool noPipe = expected.name == u"redirect" && environment == u"no-descriptors";
        const int dueMs = noPipe ? 0 : expected.dueMs;
        QVERIFY2(fields["shortest"].toInt() >= dueMs && fields["longest"].toInt() <= dueMs + LateMs,
                 qPrintable(report));
        QVERIFY2(fields["cpu"].toDouble() <= MaxCpuMsPerSecond, qPrintable(report));
        const QString output = QString::fromUtf8(QByteArray::fromPercentEncoding(fields["output"].toUtf8()));
        if (noPipe) {
            QCOMPARE(output, QString());
        } else if (expected.expected.endsWith(timeoutMessage)) {
            QVERIFY2(output.endsWith(timeoutMessage)
                         && expected.expected.startsWith(output.chopped(timeoutMessage.size())),
                     qPrintable(report));
        } else {
            QCOMPARE(output, expected.expected);
        }
        QVERIFY2(fields["left"] == u"0" && fields["children"] == u"0", qPrintable(report));
        QVERIFY2(fields["helper"] == u"ok", qPrintable(report));
    }

    void cleanupTestCase() { collect(); }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--host") == 0)
        return runHost(QString::fromLocal8Bit(argv[2]));
    tst_HostMatrix test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostmatrix.moc"

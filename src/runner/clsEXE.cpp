#include "clsEXE.h"

#include "RunnerClock.h"
#include "StubProgram.h"
#include "WindowFinder.h"
#include "launch/ChildProcess.h"
#include "launch/ProcessSpawn.h"
#include "util/CommandLine.h"
#include "util/FileOps.h"
#include "util/Raise.h"
#include "util/UniqueFd.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr int SecondsPerDay = 86400;
constexpr int ReadSize = 256;
constexpr int TickMs = 20;
constexpr int PumpWhileBusyMs = 10;
constexpr int TerminateGraceMs = 500;

/// The seconds-since-midnight clock rounded to whole seconds, halves to the even one.
double roundedSeconds(const RunnerClock &clock)
{
    return std::nearbyint(clock.secondsSinceMidnight());
}

/// A child started by an operation, reaped when the operation ends; one still running then
/// is ended first.
class WatchedChild
{
public:
    explicit WatchedChild(pid_t pid)
        : m_process(pid)
    {
    }
    ~WatchedChild()
    {
        if (running())
            end();
        m_process.reap();
    }
    WatchedChild(const WatchedChild &) = delete;
    WatchedChild &operator=(const WatchedChild &) = delete;

    pid_t pid() const { return m_process.pid(); }
    int pidfd() const { return m_process.pidfd(); }
    /// False once it has ended, and when its state cannot be read (then the loop stops).
    bool running() const { return !m_process.exitCode().has_value(); }
    void end() const { m_process.terminate(TerminateGraceMs); }

private:
    ChildProcess m_process;
};

/**
 * The waiting of one operation: lets Qt process events, and blocks in an event loop until
 * the child ends, output arrives or a tick passes. Without an event dispatcher on this thread
 * it blocks in poll() on the same descriptors.
 */
class PassWaiter
{
public:
    PassWaiter(int pidfd, int pipeFd = -1)
        : m_pipeFd(pipeFd)
        , m_pidfd(pidfd)
    {
        if (!QAbstractEventDispatcher::instance())
            return;
        m_loop.emplace();
        m_tick.setSingleShot(true);
        m_tick.setInterval(TickMs);
        QObject::connect(&m_tick, &QTimer::timeout, &*m_loop, &QEventLoop::quit);
        watch(m_pidfdNotifier, pidfd);
        watch(m_pipeNotifier, pipeFd);
        m_sincePump.start();
    }

    void pump()
    {
        QCoreApplication::processEvents();
        m_sincePump.restart();
    }

    /// Pumps when the last pump is a while ago: for passes that are kept busy.
    void pumpNowAndThen()
    {
        if (m_sincePump.hasExpired(PumpWhileBusyMs))
            pump();
    }

    void waitForActivity()
    {
        if (m_loop) {
            m_tick.start();
            m_loop->exec();
            m_tick.stop();
            m_sincePump.restart();
            return;
        }
        pollfd fds[2] = {{m_pidfd, POLLIN, 0}, {m_pipeFd, POLLIN, 0}};
        ::poll(fds, m_pipeFd >= 0 ? 2 : 1, TickMs);
    }

    /// The pipe has reached its end: it would wake the loop for nothing from now on.
    void pipeClosed()
    {
        m_pipeFd = -1;
        if (m_pipeNotifier)
            m_pipeNotifier->setEnabled(false);
    }

private:
    void watch(std::unique_ptr<QSocketNotifier> &notifier, int fd)
    {
        if (fd < 0)
            return;
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &*m_loop, &QEventLoop::quit);
    }

    int m_pipeFd;
    int m_pidfd;
    std::optional<QEventLoop> m_loop;
    QTimer m_tick;
    QElapsedTimer m_sincePump;
    std::unique_ptr<QSocketNotifier> m_pidfdNotifier;
    std::unique_ptr<QSocketNotifier> m_pipeNotifier;
};

/// Starts the command text of ShellAndWait and ShellDOSEXE; throws when that is impossible.
pid_t startProgram(const QString &command)
{
    const std::optional<QStringList> words = CommandLine::split(command);
    if (!words || words->isEmpty())
        raiseError(ErrorCode::InvalidArgument);
    SpawnOptions options;
    options.searchPath = true;
    options.newSession = true;
    const SpawnResult result = ProcessSpawn::start(words->first(), words->mid(1), options);
    if (!result.started())
        raiseError(ErrorCode::FileNotFound);
    return result.pid;
}

bool namesCommandInterpreter(const QString &text)
{
    return text.contains(u"CMD.EXE"_s, Qt::CaseInsensitive) || text.contains(u"COMMAND.COM"_s, Qt::CaseInsensitive);
}

/// Seconds from @p since, a rounded reading, to @p now on the seconds-since-midnight clock,
/// across midnight. Rounding may put @p since up to half a second ahead of the clock: that
/// is no time passed, not a day.
double secondsSince(double since, double now)
{
    const double elapsed = now - since;
    if (elapsed < -1)
        return elapsed + SecondsPerDay;
    return std::max(elapsed, 0.0);
}

} // namespace

clsEXE::clsEXE(QObject *parent)
    : QObject(parent)
    , m_clock(RunnerClock::system())
{
}

clsEXE::~clsEXE() = default;

void clsEXE::setClock(std::shared_ptr<const RunnerClock> clock)
{
    m_clock = clock ? std::move(clock) : RunnerClock::system();
}

void clsEXE::Cancel()
{
    m_cancelRequested = true;
}

bool clsEXE::CancelRequested() const
{
    return m_cancelRequested;
}

QString clsEXE::DosProgramName(const QString &text)
{
    QString name = text.toUpper();
    qsizetype after = -1;
    for (const QString &interpreter : {u"COMMAND.COM"_s, u"CMD.EXE"_s}) {
        if (const qsizetype at = name.indexOf(interpreter); at >= 0) {
            after = at + interpreter.size();
            break;
        }
    }
    if (after >= 0) {
        const qsizetype drive = name.indexOf(u":\\"_s, after) - 1;
        if (drive < 0)
            raiseError(ErrorCode::InvalidArgument);
        const qsizetype space = name.indexOf(u' ', drive);
        name = name.mid(drive, space < 0 ? -1 : space - drive);
    }
    return FileOps::FileBaseName(name);
}

bool clsEXE::KillProcess(qint32 processId)
{
    if (processId <= 0)
        return false;
    const ChildProcess process(processId);
    if (process.pidfd() < 0 || process.exitCode() == 0)
        return false;
    return process.terminate(TerminateGraceMs);
}

std::optional<QStringList> clsEXE::StubCommand(const QString &strCmdLine, qint32 lTimeOut)
{
    const QString stub = StubProgram::path();
    const qint64 milliseconds = (qint64(lTimeOut) - 1) * 1000;
    const QString text = u'"' + stub + u"\" "_s + strCmdLine + u' ' + QString::number(milliseconds);
    // The stub's path is taken as it stands, whatever quotes or backslashes it holds.
    QBitArray literal(text.size());
    literal.fill(true, 1, 1 + stub.size());
    return CommandLine::split(text, literal);
}

void clsEXE::ShellAndWait(const QString &strEXE, const QString &strCmdLine, qint32 TimeOutSeconds, qint32)
{
    const QDateTime deadline = m_clock->currentDateTime().addSecs(TimeOutSeconds);
    const WatchedChild child(startProgram(strEXE + strCmdLine));
    PassWaiter waiter(child.pidfd());
    for (;;) {
        const bool running = child.running();
        if (TimeOutSeconds > 0 && m_clock->currentDateTime() > deadline) {
            KillProcess(child.pid());
            break;
        }
        waiter.pump();
        if (!running)
            break;
        waiter.waitForActivity();
    }
}

void clsEXE::ShellDOSEXE(const QString &strEXE, const QString &strCmdLine, qint32 TimeOutValue, qint32)
{
    const QString name = DosProgramName(namesCommandInterpreter(strEXE) ? strEXE + strCmdLine : strEXE);
    const QString finishedTitle = u"Finished - "_s + name;

    // The deadline counts from the rounded start; whether midnight has passed is told by the
    // clock going below its first reading, which rounding up cannot fake.
    const double firstReading = m_clock->secondsSinceMidnight();
    const double start = std::nearbyint(firstReading);
    double deadline = 0;
    bool crossesMidnight = false;
    if (TimeOutValue > 0) {
        deadline = start + TimeOutValue;
        crossesMidnight = deadline >= SecondsPerDay;
        if (crossesMidnight)
            deadline -= SecondsPerDay;
    }

    const WatchedChild child(startProgram(strEXE + strCmdLine));
    WindowFinder windows;
    PassWaiter waiter(child.pidfd());
    for (;;) {
        const bool running = child.running();
        if (TimeOutValue != 0) {
            const double now = m_clock->secondsSinceMidnight();
            if (now > deadline && (!crossesMidnight || now < firstReading))
                break;
        }
        if (const auto window = windows.find(finishedTitle)) {
            windows.close(*window);
            break;
        }
        waiter.pump();
        if (!running)
            break;
        waiter.waitForActivity();
    }
    KillProcess(child.pid());
}

void clsEXE::RedirectDOSEXE(const QString &strCmdLine, const QString &strStartText, qint32 lTimeOut)
{
    m_cancelRequested = false;
    QString pending;
    bool started = strStartText.isEmpty();
    const bool watchesSilence = lTimeOut > 0;
    double lastActivity = watchesSilence ? roundedSeconds(*m_clock) : 0;

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    const UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // Only our end: the command writes to a blocking pipe, as programs expect.
    ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);

    const std::optional<QStringList> words = StubCommand(strCmdLine, lTimeOut);
    if (!words)
        return;
    SpawnOptions options;
    options.newProcessGroup = true;
    options.stdoutFd = writeEnd.get();
    options.stderrFd = writeEnd.get();
    const SpawnResult spawned = ProcessSpawn::start(words->first(), words->mid(1), options);
    if (!spawned.started())
        return;
    const WatchedChild child(spawned.pid);
    writeEnd.reset();

    PassWaiter waiter(child.pidfd(), readEnd.get());
    bool pipeOpen = true;
    char buffer[ReadSize];
    for (;;) {
        const ssize_t got = pipeOpen ? ::read(readEnd.get(), buffer, sizeof buffer) : -1;
        const bool outputWaited = got > 0;
        if (outputWaited) {
            pending += QString::fromLatin1(buffer, got);
            if (watchesSilence)
                lastActivity = roundedSeconds(*m_clock);
            if (!started) {
                const qsizetype at = pending.indexOf(strStartText, 0, Qt::CaseInsensitive);
                if (at >= 0) {
                    pending.remove(0, at);
                    started = true;
                }
            }
            if (started) {
                Q_EMIT RedirOutput(pending);
                pending.clear();
            }
            waiter.pumpNowAndThen();
        } else {
            if (pipeOpen && (got == 0 || (errno != EAGAIN && errno != EINTR))) {
                pipeOpen = false;
                waiter.pipeClosed();
            }
            waiter.pump();
        }
        if (!child.running())
            break;
        if (m_cancelRequested) {
            child.end();
            break;
        }
        if (watchesSilence && secondsSince(lastActivity, m_clock->secondsSinceMidnight()) > lTimeOut) {
            child.end();
            Q_EMIT RedirOutput(u"Timeout!\r\nProcess failed"_s);
            break;
        }
        if (!outputWaited)
            waiter.waitForActivity();
    }
}

} // namespace Lanyard

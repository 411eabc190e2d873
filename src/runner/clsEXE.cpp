// SPDX-License-Identifier: MIT
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
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr int ReadSize = 256;
constexpr int PumpWhileBusyMs = 10;
constexpr int TerminateGraceMs = 500;
// STUB16.EXE, asked to end, ends its command with everything it started within a fraction of
// a second; this bound only keeps a stub that cannot end from holding the call.
constexpr int StubEndGraceMs = 5000;
// A program without a pidfd (no descriptor left) is looked at this often.
constexpr int LookWithoutPidfdMs = 200;
// A wait longer than this wakes once to look at the clock again (QTimer takes an int).
constexpr qint64 LongestWaitMs = 24LL * 3600 * 1000;
// STUB16.EXE's own time-out: none; the runner's time-out is the only one.
const QString StubWithoutTimeOut = QStringLiteral("-1000");

/// A child that an operation started; signalling and reaping take turns on it, so that no
/// signal can reach a process that took its number after the reaping.
struct StartedChild
{
    explicit StartedChild(pid_t pid)
        : process(pid)
    {
    }
    ChildProcess process;
    std::mutex turn;
};

/**
 * The children that the runner's operations, on any thread, started and have not reaped yet:
 * the only processes KillProcess may signal.
 */
class StartedChildren
{
public:
    static StartedChildren &instance()
    {
        static StartedChildren children;
        return children;
    }
    void add(const std::shared_ptr<StartedChild> &child)
    {
        const std::lock_guard lock(m_mutex);
        m_children.emplace(child->process.pid(), child);
    }
    void remove(pid_t pid)
    {
        const std::lock_guard lock(m_mutex);
        m_children.erase(pid);
    }
    std::shared_ptr<StartedChild> find(pid_t pid) const
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_children.find(pid);
        return found == m_children.end() ? nullptr : found->second;
    }

private:
    mutable std::mutex m_mutex;
    std::map<pid_t, std::shared_ptr<StartedChild>> m_children;
};

/// A child started by an operation, reaped when the operation ends; one still running then
/// is ended first.
class WatchedChild
{
public:
    explicit WatchedChild(pid_t pid, int endGraceMs = TerminateGraceMs)
        : m_child(std::make_shared<StartedChild>(pid))
        , m_endGraceMs(endGraceMs)
    {
        StartedChildren::instance().add(m_child);
    }
    ~WatchedChild()
    {
        if (running())
            end();
        StartedChildren::instance().remove(pid());
        const std::lock_guard lock(m_child->turn); // a KillProcess under way on another thread ends first
        m_child->process.reap();
    }
    WatchedChild(const WatchedChild &) = delete;
    WatchedChild &operator=(const WatchedChild &) = delete;

    pid_t pid() const { return m_child->process.pid(); }
    int pidfd() const { return m_child->process.pidfd(); }
    bool hasPidfd() const { return m_child->process.hasPidfd(); }
    /// False once it has ended, and when its state cannot be read (then the loop stops).
    bool running() const { return !m_child->process.exitCode().has_value(); }
    void end() const
    {
        const std::lock_guard lock(m_child->turn);
        m_child->process.terminate(m_endGraceMs);
    }

private:
    std::shared_ptr<StartedChild> m_child;
    int m_endGraceMs;
};

/**
 * The waiting of one operation: lets Qt process events, and blocks until the child ends,
 * output or news of the display arrives, the host has an event, or the operation's deadline
 * comes; nothing else wakes it. The block is a pass of the thread's event dispatcher of its
 * own (not QEventLoop::exec, which returns at once while the application quits); without a
 * dispatcher it is a poll() on the same descriptors. A child without a pidfd cannot wake it:
 * then no block lasts longer than a fifth of a second.
 */
class PassWaiter
{
public:
    PassWaiter(const RunnerClock &clock, const WatchedChild &child, std::initializer_list<int> fds = {})
        : m_clock(clock)
        , m_blindToTheEnd(!child.hasPidfd())
        , m_fds{child.pidfd()}
    {
        m_fds.insert(m_fds.end(), fds);
        std::erase_if(m_fds, [](int fd) { return fd < 0; }); // no pidfd, no window watcher
        if (!QAbstractEventDispatcher::instance())
            return;
        m_deadline.emplace();
        m_deadline->setTimerType(Qt::PreciseTimer);
        for (const int fd : m_fds)
            m_notifiers.push_back(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read));
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

    /// @p secondsLeft: the time to the operation's deadline on the runner's clock, if any.
    void waitForActivity(std::optional<double> secondsLeft)
    {
        // One millisecond more: a deadline is passed only once the clock is beyond it.
        int waitMs = secondsLeft ? int(std::clamp<qint64>(m_clock.realTimeFor(std::max(*secondsLeft, 0.0)).count() + 1,
                                                          0, LongestWaitMs))
                                 : -1;
        if (m_blindToTheEnd)
            waitMs = secondsLeft ? std::min(waitMs, LookWithoutPidfdMs) : LookWithoutPidfdMs;
        if (!m_deadline) {
            std::vector<pollfd> entries;
            for (const int fd : m_fds)
                entries.push_back({fd, POLLIN, 0});
            ::poll(entries.data(), nfds_t(entries.size()), waitMs);
            return;
        }
        if (waitMs >= 0)
            m_deadline->start(waitMs);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_deadline->stop();
        m_sincePump.restart();
    }

    /// @p fd has reached its end: it would wake the wait for nothing from now on.
    void closed(int fd)
    {
        std::erase(m_fds, fd);
        for (const auto &notifier : m_notifiers) {
            if (notifier->socket() == fd)
                notifier->setEnabled(false);
        }
    }

private:
    const RunnerClock &m_clock;
    bool m_blindToTheEnd;
    std::vector<int> m_fds;
    std::optional<QTimer> m_deadline;
    std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
    QElapsedTimer m_sincePump;
};

/**
 * Holds the output of RedirectDOSEXE back until the start text has come (in any letter
 * case). Each new piece is searched together with only the last characters before it that
 * could begin the text, so the cost of a read does not grow with the output before the text.
 */
class StartTextGate
{
public:
    explicit StartTextGate(const QString &startText)
        : m_startText(startText)
        , m_open(startText.isEmpty())
    {
    }

    /// What of @p piece is passed on: all of it once the text has come, from the text on
    /// when it comes now, nothing before.
    std::optional<QString> pass(const QString &piece)
    {
        if (m_open)
            return piece;
        m_held += piece;
        const qsizetype at = m_held.indexOf(m_startText, 0, Qt::CaseInsensitive);
        if (at < 0) {
            m_held.remove(0, std::max<qsizetype>(0, m_held.size() - (m_startText.size() - 1)));
            return std::nullopt;
        }
        m_open = true;
        return std::exchange(m_held, {}).mid(at);
    }

private:
    QString m_startText;
    QString m_held; ///< the tail of the output that may hold the text's beginning
    bool m_open;
};

/// Starts the command text of ShellAndWait and ShellDOSEXE; throws when that is impossible.
pid_t startProgram(const QString &command)
{
    const Result<QStringList> words = CommandLine::split(command);
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

void clsEXE::Cancel() { m_cancelRequested = true; }

bool clsEXE::CancelRequested() const { return m_cancelRequested; }

QString clsEXE::DosProgramName(const QString &text)
{
    QString name = text.toUpper();
    for (const QString &interpreter : {u"COMMAND.COM"_s, u"CMD.EXE"_s}) {
        if (const qsizetype at = name.indexOf(interpreter); at != -1) {
            const qsizetype driveColon = name.indexOf(u":\\"_s, at + interpreter.size());
            if (driveColon == -1)
                raiseError(ErrorCode::InvalidArgument);
            name = name.mid(driveColon - 1).section(u' ', 0, 0); // the drive letter on, to a blank
            break;
        }
    }
    // A program path quoted for its blanks: the quotes are no part of the name.
    return FileOps::FileBaseName(name.remove(u'"'));
}

bool clsEXE::KillProcess(qint32 processId)
{
    const std::shared_ptr<StartedChild> child = StartedChildren::instance().find(processId);
    if (!child)
        return false;
    const std::lock_guard lock(child->turn);
    return child->process.terminate(TerminateGraceMs);
}

Result<QStringList> clsEXE::StubCommand(const QString &strCmdLine)
{
    const Result<QStringList> words = CommandLine::split(strCmdLine);
    if (!words)
        return words;
    return QStringList{StubProgram::path()} + words.value() + QStringList{StubWithoutTimeOut};
}

void clsEXE::ShellAndWait(const QString &strEXE, const QString &strCmdLine, qint32 TimeOutSeconds, qint32)
{
    const double deadline = m_clock->seconds() + TimeOutSeconds;
    const WatchedChild child(startProgram(strEXE + strCmdLine));
    PassWaiter waiter(*m_clock, child);
    for (;;) {
        const bool running = child.running();
        const double secondsLeft = deadline - m_clock->seconds();
        if (TimeOutSeconds > 0 && secondsLeft < 0) {
            KillProcess(child.pid());
            break;
        }
        waiter.pump();
        if (!running)
            break;
        waiter.waitForActivity(TimeOutSeconds > 0 ? std::optional(secondsLeft) : std::nullopt);
    }
}

void clsEXE::ShellDOSEXE(const QString &strEXE, const QString &strCmdLine, qint32 TimeOutValue, qint32)
{
    const QString name = DosProgramName(namesCommandInterpreter(strEXE) ? strEXE + strCmdLine : strEXE);
    const QString finishedTitle = u"Finished - "_s + name;
    const double deadline = m_clock->seconds() + TimeOutValue;

    const WatchedChild child(startProgram(strEXE + strCmdLine));
    WindowFinder windows;
    PassWaiter waiter(*m_clock, child, {windows.descriptor()});
    for (;;) {
        const bool running = child.running();
        // A negative time-out is over at once.
        const double secondsLeft = deadline - m_clock->seconds();
        if (TimeOutValue != 0 && secondsLeft < 0)
            break;
        windows.takeNews();
        if (const auto window = windows.find(finishedTitle)) {
            windows.close(*window);
            break;
        }
        waiter.pump();
        if (!running)
            break;
        // News that came during the search: search again first.
        if (windows.takeNews())
            continue;
        waiter.waitForActivity(TimeOutValue > 0 ? std::optional(secondsLeft) : std::nullopt);
    }
    KillProcess(child.pid());
}

void clsEXE::RedirectDOSEXE(const QString &strCmdLine, const QString &strStartText, qint32 lTimeOut)
{
    m_cancelRequested = false;
    StartTextGate startText(strStartText);
    const bool watchesSilence = lTimeOut > 0;
    double lastActivity = m_clock->seconds();

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    UniqueFd readEnd = UniqueFd::aboveStandard(ends[0]);
    UniqueFd writeEnd = UniqueFd::aboveStandard(ends[1]);
    if (!readEnd.isValid() || !writeEnd.isValid())
        return;
    // Only our end: the command writes to a blocking pipe, as programs expect.
    ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);

    const Result<QStringList> words = StubCommand(strCmdLine);
    if (!words)
        return;
    SpawnOptions options;
    options.newProcessGroup = true;
    options.stdoutFd = writeEnd.get();
    options.stderrFd = writeEnd.get();
    const SpawnResult spawned = ProcessSpawn::start(words->first(), words->mid(1), options);
    if (!spawned.started())
        return;
    // The stub, asked to end, ends everything the command started, also what left its group.
    const WatchedChild child(spawned.pid, StubEndGraceMs);
    writeEnd.reset();

    PassWaiter waiter(*m_clock, child, {readEnd.get()});
    char buffer[ReadSize];
    for (;;) {
        const ssize_t got = readEnd.isValid() ? ::read(readEnd.get(), buffer, sizeof buffer) : -1;
        const bool outputWaited = got > 0;
        if (outputWaited) {
            lastActivity = m_clock->seconds();
            if (const std::optional<QString> piece = startText.pass(QString::fromLatin1(buffer, got)))
                Q_EMIT RedirOutput(*piece);
            waiter.pumpNowAndThen();
        } else {
            // The read end is non-blocking: a read never waits, so no signal cuts one short.
            if (readEnd.isValid() && (got == 0 || errno != EAGAIN)) {
                waiter.closed(readEnd.get());
                readEnd.reset(); // the command's output has ended
            }
            waiter.pump();
        }
        if (!child.running())
            break;
        if (m_cancelRequested) {
            child.end();
            break;
        }
        const double silence = m_clock->seconds() - lastActivity;
        if (watchesSilence && silence > lTimeOut) {
            child.end();
            Q_EMIT RedirOutput(u"Timeout!\r\nProcess failed"_s);
            break;
        }
        if (!outputWaited)
            waiter.waitForActivity(watchesSilence ? std::optional(lTimeOut - silence) : std::nullopt);
    }
}

} // namespace Lanyard

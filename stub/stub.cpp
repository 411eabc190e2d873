// SPDX-License-Identifier: MIT
// STUB16.EXE: runs one command for the process runner and stands between it and the runner.
//
//   STUB16.EXE <program> [<argument>...] <milliseconds>
//
// The words before the last one are the command, run without a shell (the program is looked up
// in PATH). The last word is a time-out in milliseconds: negative means none; otherwise the
// command, with everything it started, is ended when it has been silent (no output on stdout or
// stderr) for that long. The stub ends when the command ends and exits with its exit code
// (128 + the signal number when a signal ended it, 127 when it could not be started).
// A SIGTERM, SIGINT or SIGHUP sent to the stub ends the command the same way, also while the
// stub is passing output on to a reader that does not read.
//
// Ending the command ends every process it started that still runs, also those that left its
// process group or session (setsid, coreutils timeout): the stub is their subreaper, so each
// becomes its child when its parent ends, and the stub ends its children until none is left.
// Only its own unreaped children are ever signalled one by one, so no signal can reach a
// process that merely took a number they had.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int ExitCannotRun = 127;
constexpr int ExitUsage = 2;
constexpr auto TerminateGrace = std::chrono::milliseconds(150);
// Killing level after level of the command's processes takes a few rounds; this bounds them.
constexpr auto KillRounds = std::chrono::seconds(3);

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_ending = 0;
constexpr int HandledSignals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP};

void onSignal(int signal)
{
    const int savedErrno = errno;
    if (signal != SIGCHLD)
        g_ending = 1;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool makePipe(int fds[2]) { return ::pipe2(fds, O_CLOEXEC) == 0; }

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void installHandlers()
{
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait (the loop's poll, writeAll's ppoll) must give way to a termination signal.
    action.sa_flags = 0;
    for (const int signal : HandledSignals)
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

bool sameFile(int a, int b)
{
    struct stat sa
    {
    }, sb{};
    if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool parseMilliseconds(const char *text, long long &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

/// Writes @p data unless the stub is ending first (then the rest is dropped). A write blocked
/// on a full pipe could miss a termination signal that came just before it, or be cut short
/// by one and block again; so signals are taken only while waiting for room (ppoll), and each
/// write is no larger than the room a writable pipe is sure to have, so it never blocks.
void writeAll(int fd, const char *data, size_t size)
{
    sigset_t handled;
    sigset_t whileWaiting;
    ::sigemptyset(&handled);
    for (const int signal : HandledSignals)
        ::sigaddset(&handled, signal);
    ::sigprocmask(SIG_BLOCK, &handled, &whileWaiting);
    while (size > 0 && !g_ending) {
        pollfd entry{fd, POLLOUT, 0};
        if (::ppoll(&entry, 1, nullptr, &whileWaiting) == -1) {
            if (errno == EINTR)
                continue;
            break;
        }
        const ssize_t written = ::write(fd, data, std::min(size, size_t(PIPE_BUF)));
        if (written < 0) {
            if (errno == EAGAIN)
                continue;
            break; // the reader went away: the output is dropped
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    ::sigprocmask(SIG_SETMASK, &whileWaiting, nullptr);
}

/// A pipe carrying the command's output to one of the stub's own outputs.
struct Relay
{
    int readFd = -1;
    int targetFd = -1;

    bool isOpen() const { return readFd != -1; }
};

/// Copies what waits in @p relay and closes it at end of file; true when any byte passed. The
/// relay is non-blocking, so a read never waits, and no signal can cut one short.
bool pass(Relay &relay)
{
    char buffer[65536];
    bool passed = false;
    for (;;) {
        const ssize_t got = ::read(relay.readFd, buffer, sizeof buffer);
        if (got == -1 && errno == EAGAIN)
            return passed; // nothing more for now
        if (got <= 0) {    // the end of the output, or a read that failed: the relay is done
            ::close(relay.readFd);
            relay.readFd = -1;
            return passed;
        }
        writeAll(relay.targetFd, buffer, static_cast<size_t>(got));
        passed = true;
        if (g_ending)
            return passed;
    }
}

/// The stub's children, zombies included, from the kernel's list of them; nothing when the
/// kernel keeps none.
std::optional<std::vector<pid_t>> listedChildren()
{
    const std::string path = "/proc/self/task/" + std::to_string(::getpid()) + "/children";
    FILE *list = std::fopen(path.c_str(), "re");
    if (!list)
        return std::nullopt;
    std::vector<pid_t> children;
    long pid = 0;
    while (std::fscanf(list, "%ld", &pid) == 1)
        children.push_back(static_cast<pid_t>(pid));
    std::fclose(list);
    return children;
}

/// The parent of the process whose /proc folder is @p name; 0 when it has gone meanwhile.
long parentOf(const char *name)
{
    const std::string path = std::string("/proc/") + name + "/stat";
    FILE *stat = std::fopen(path.c_str(), "re");
    if (!stat)
        return 0;
    char line[1024];
    const size_t got = std::fread(line, 1, sizeof line - 1, stat);
    std::fclose(stat);
    line[got] = '\0';
    // "pid (name) state ppid ...": the name may hold anything, the fields follow its last ')'.
    const char *close = std::strrchr(line, ')');
    char state = 0;
    long parent = 0;
    if (close)
        std::sscanf(close + 1, " %c %ld", &state, &parent);
    return parent;
}

/// The stub's children, zombies included (the stub has one thread, which all of them belong to).
std::vector<pid_t> directChildren()
{
    if (std::optional<std::vector<pid_t>> listed = listedChildren())
        return *std::move(listed);
    std::vector<pid_t> children;
    const pid_t self = ::getpid();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return children;
    while (const dirent *entry = ::readdir(proc)) {
        // A process's folder is named by its number alone.
        const std::string_view name = entry->d_name;
        if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })
            && parentOf(entry->d_name) == self)
            children.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    }
    ::closedir(proc);
    return children;
}

enum class ChildState { NotOurs, Running, Ended };

/// Whether @p pid is an unreaped child of the stub, and whether it still runs. Only a running
/// child is signalled by its number: no other process can have taken a number the stub has not
/// reaped, whatever the listing of children said.
ChildState stateOf(pid_t pid)
{
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return ChildState::NotOurs;
    return info.si_pid == 0 ? ChildState::Running : ChildState::Ended;
}

class Stub
{
public:
    Stub(std::vector<char *> command, long long timeoutMs)
        : m_command(std::move(command))
        , m_timeoutMs(timeoutMs)
    {
    }

    int run()
    {
        if (!startCommand())
            return ExitCannotRun;
        return waitForCommand();
    }

private:
    bool watchesSilence() const { return m_timeoutMs >= 0; }

    bool startCommand()
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
        // Its own process group, so that ending it reaches whatever it started.
        short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF;
        ::posix_spawnattr_setflags(&attributes, flags);
        ::posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t defaults;
        ::sigemptyset(&defaults);
        ::sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&attributes, &defaults);

        std::vector<int> childEnds;
        if (watchesSilence() && !prepareRelays(actions, childEnds)) {
            std::fprintf(stderr, "STUB16.EXE: cannot create a pipe: %s\n", std::strerror(errno));
            return false;
        }

        const int error = ::posix_spawnp(&m_pid, m_command.front(), &actions, &attributes, m_command.data(), environ);
        for (const int fd : childEnds)
            ::close(fd);
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
        if (error != 0) {
            std::fprintf(stderr, "STUB16.EXE: cannot run %s: %s\n", m_command.front(), std::strerror(error));
            return false;
        }
        return true;
    }

    /// Output goes through the stub so that it can tell silence; one pipe when stdout and
    /// stderr are the same file, which keeps their order.
    bool prepareRelays(posix_spawn_file_actions_t &actions, std::vector<int> &childEnds)
    {
        const bool shared = sameFile(STDOUT_FILENO, STDERR_FILENO);
        const std::vector<int> targets = shared ? std::vector<int>{STDOUT_FILENO}
                                                : std::vector<int>{STDOUT_FILENO, STDERR_FILENO};
        for (const int target : targets) {
            int fds[2];
            if (!makePipe(fds))
                return false;
            setNonBlocking(fds[0]);
            m_relays.push_back({fds[0], target});
            childEnds.push_back(fds[1]);
        }
        ::posix_spawn_file_actions_adddup2(&actions, childEnds.front(), STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, childEnds.back(), STDERR_FILENO);
        return true;
    }

    int waitForCommand()
    {
        auto silentSince = Clock::now();
        for (;;) {
            std::vector<pollfd> fds{{g_signalPipe[0], POLLIN, 0}};
            for (const Relay &relay : m_relays) {
                if (relay.isOpen())
                    fds.push_back({relay.readFd, POLLIN, 0});
            }
            const int ready = ::poll(fds.data(), fds.size(), pollTimeout(silentSince));
            if (ready == -1 && errno != EINTR)
                return endCommand();
            // The signal pipe is read every turn (it does not block): also after a poll that a
            // signal cut short, which tells nothing of what is ready.
            if (handleSignals())
                return endCommand();
            if (relayOutput())
                silentSince = Clock::now();
            if (const std::optional<int> status = reapChildren()) {
                relayOutput(); // what the command wrote just before its end
                return exitCodeOf(*status);
            }
            if (watchesSilence() && Clock::now() - silentSince >= std::chrono::milliseconds(m_timeoutMs))
                return endCommand();
        }
    }

    int pollTimeout(Clock::time_point silentSince) const
    {
        if (!watchesSilence())
            return -1;
        // Rounded up: a wake before the time-out would only poll again.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            silentSince + std::chrono::milliseconds(m_timeoutMs) - Clock::now());
        return static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
    }

    /// True when a termination signal asks the stub to end the command.
    bool handleSignals()
    {
        unsigned char signals[64];
        const ssize_t got = ::read(g_signalPipe[0], signals, sizeof signals);
        return std::any_of(signals, signals + std::max<ssize_t>(got, 0), [](unsigned char s) { return s != SIGCHLD; });
    }

    /// True when any output passed.
    bool relayOutput()
    {
        bool passed = false;
        for (Relay &relay : m_relays) {
            if (relay.isOpen())
                passed = pass(relay) || passed;
        }
        return passed;
    }

    /// Reaps the children that have ended (processes the command left behind end up here);
    /// the command's status once it has ended.
    std::optional<int> reapChildren()
    {
        std::optional<int> commandStatus;
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(-1, &status, WNOHANG)) > 0) {
            if (reaped == m_pid)
                commandStatus = status;
        }
        return commandStatus;
    }

    /// Ends the command and everything it started: SIGTERM to its process group and to each
    /// process that becomes the stub's child, a short grace, then SIGKILL for what remains.
    int endCommand()
    {
        ::kill(-m_pid, SIGTERM);
        std::set<pid_t> told{m_pid};
        const auto giveUp = Clock::now() + TerminateGrace;
        // Nothing is reaped meanwhile: the command's number, and its group's, stay the stub's.
        while (Clock::now() < giveUp && anyChildRunning(told))
            ::usleep(5000);
        ::kill(-m_pid, SIGKILL);
        return killEverything();
    }

    /// True while a child of the stub has not ended; one not yet in @p told gets SIGTERM.
    static bool anyChildRunning(std::set<pid_t> &told)
    {
        bool running = false;
        for (const pid_t child : directChildren()) {
            if (stateOf(child) == ChildState::Running) {
                running = true;
                if (told.insert(child).second)
                    ::kill(child, SIGTERM);
            }
        }
        return running;
    }

    /// SIGKILL to every child, round after round (a killed child's children become the stub's),
    /// until none is left; the command's exit code.
    int killEverything()
    {
        int commandStatus = 0;
        const auto giveUp = Clock::now() + KillRounds;
        for (;;) {
            for (const pid_t child : directChildren()) {
                if (stateOf(child) == ChildState::Running)
                    ::kill(child, SIGKILL);
            }
            int status = 0;
            pid_t reaped = 0;
            while ((reaped = ::waitpid(-1, &status, WNOHANG)) > 0) {
                if (reaped == m_pid)
                    commandStatus = status;
            }
            // -1 once no child is left: a waitpid() that does not block fails for nothing else.
            if (reaped == -1 || Clock::now() >= giveUp)
                return exitCodeOf(commandStatus);
            ::usleep(2000);
        }
    }

    static int exitCodeOf(int status)
    {
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            return 128 + WTERMSIG(status);
        return ExitCannotRun;
    }

    std::vector<char *> m_command;
    long long m_timeoutMs;
    pid_t m_pid = -1;
    std::vector<Relay> m_relays;
};

} // namespace

int main(int argc, char *argv[])
{
    long long timeoutMs = -1;
    if (argc < 3 || !parseMilliseconds(argv[argc - 1], timeoutMs)) {
        std::fprintf(stderr, "usage: STUB16.EXE <program> [<argument>...] <milliseconds>\n");
        return ExitUsage;
    }
    if (!makePipe(g_signalPipe)) {
        std::perror("STUB16.EXE");
        return ExitCannotRun;
    }
    setNonBlocking(g_signalPipe[0]);
    setNonBlocking(g_signalPipe[1]);
    installHandlers();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    std::vector<char *> command(argv + 1, argv + argc - 1);
    command.push_back(nullptr);
    return Stub(std::move(command), timeoutMs).run();
}

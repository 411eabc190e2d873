// SPDX-License-Identifier: MIT
#include "ChildProcess.h"

#include "util/Uninterrupted.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>

namespace Lanyard {

namespace {

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    // Through syscall(): glibc 2.36's <sys/pidfd.h> lacks C linkage for C++.
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd entry{fd, POLLIN, 0};
    return uninterrupted([&] { return ::poll(&entry, 1, timeoutMs); }) > 0;
}

} // namespace

ChildProcess::ChildProcess(pid_t pid)
    : m_pid(pid)
    , m_pidfd(UniqueFd::aboveStandard(openPidfd(pid)))
{
}

std::optional<int> ChildProcess::exitCode() const
{
    siginfo_t info{};
    if (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return -1;
    if (info.si_pid == 0)
        return std::nullopt;
    return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

bool ChildProcess::tryReap()
{
    // WNOHANG never blocks, so no signal can interrupt it.
    int status = 0;
    return ::waitpid(m_pid, &status, WNOHANG) != 0;
}

void ChildProcess::reap()
{
    int status = 0;
    uninterrupted([&] { return ::waitpid(m_pid, &status, 0); });
}

bool ChildProcess::waitForEnd(int timeoutMs) const
{
    if (m_pidfd.isValid())
        return waitReadable(m_pidfd.get(), timeoutMs);
    // Without a pidfd nothing tells of the end: a look every few milliseconds, for a bounded time.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exitCode().has_value()) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(timeoutMs, 0, 10)));
    }
    return true;
}

bool ChildProcess::signal(int signalNumber) const
{
#ifdef SYS_pidfd_send_signal
    if (m_pidfd.isValid())
        return ::syscall(SYS_pidfd_send_signal, m_pidfd.get(), signalNumber, nullptr, 0) == 0;
#endif
    // Without pidfds: still safe, as only an unreaped child of ours gets here.
    return ::kill(m_pid, signalNumber) == 0;
}

bool ChildProcess::terminate(int graceMs) const
{
    if (!signalWithGroup(SIGTERM))
        return false;
    if (!waitForEnd(graceMs))
        signal(SIGKILL);
    killGroupLeftovers();
    return true;
}

bool ChildProcess::signalWithGroup(int signalNumber) const
{
    if (exitCode().has_value())
        return false;
    // The group's number is the leader's, which cannot be taken by another process while the
    // leader is our unreaped child, so a signal to the group reaches only what it started.
    const bool leadsGroup = ::getpgid(m_pid) == m_pid;
    if (!signal(signalNumber))
        return false;
    if (leadsGroup)
        ::kill(-m_pid, signalNumber);
    return true;
}

void ChildProcess::killGroupLeftovers() const
{
    // An ended child that is not reaped yet still holds its number, and with it the group's.
    if (exitCode() == -1)
        return;
    if (::getpgid(m_pid) == m_pid)
        ::kill(-m_pid, SIGKILL);
}

} // namespace Lanyard

// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

/// Runs @p body in a forked child (which may chroot, change its user or limits): its exit status, or -1.
inline int exitStatusOfForked(const std::function<int()> &body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

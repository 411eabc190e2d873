// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

/// Runs @p body in a forked child of the test (a host of its own, which may chroot, change its
/// user or its limits) and gives the status it exited with; -1 when it did not exit by itself.
inline int exitStatusOfForked(const std::function<int()> &body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child == -1 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// SPDX-License-Identifier: MIT
#pragma once

#include <sys/resource.h>

/// The processor time spent so far, in milliseconds: by this thread (RUSAGE_THREAD), the whole
/// process (RUSAGE_SELF) or its ended children (RUSAGE_CHILDREN). A figure taken this way is
/// the work done, not the time other jobs on a busy machine held the processor.
inline double cpuMs(int who = RUSAGE_THREAD)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto ms = [](const timeval &time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

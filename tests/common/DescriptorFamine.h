// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

/// Uses up every descriptor the host may open, until it goes out of scope.
struct DescriptorFamine
{
    DescriptorFamine()
    {
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit lowered{std::min<rlim_t>(limit.rlim_cur, 256), limit.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
    }
    ~DescriptorFamine()
    {
        std::ranges::for_each(taken, ::close);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    rlimit limit{};
    std::vector<int> taken;
};

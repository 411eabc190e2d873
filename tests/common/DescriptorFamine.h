// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

/// Uses up every descriptor the host may open but the @p spare lowest, until it goes out of scope.
struct DescriptorFamine
{
    explicit DescriptorFamine(size_t spare = 0)
    {
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit lowered{std::min<rlim_t>(limit.rlim_cur, 256), limit.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
        spare = std::min(spare, taken.size());
        std::for_each(taken.begin(), taken.begin() + long(spare), ::close);
        taken.erase(taken.begin(), taken.begin() + long(spare));
    }
    ~DescriptorFamine()
    {
        std::ranges::for_each(taken, ::close);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    rlimit limit{};
    std::vector<int> taken;
};

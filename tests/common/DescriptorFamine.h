// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

/// Uses up every descriptor the host may open, until it goes out of scope.
class DescriptorFamine
{
public:
    DescriptorFamine()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_limit);
        rlimit lowered = m_limit;
        lowered.rlim_cur = std::min<rlim_t>(m_limit.rlim_cur, 256);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = ::dup(STDERR_FILENO); fd >= 0; fd = ::dup(STDERR_FILENO))
            m_taken.push_back(fd);
    }
    ~DescriptorFamine()
    {
        for (const int fd : m_taken)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &m_limit);
    }
    DescriptorFamine(const DescriptorFamine &) = delete;
    DescriptorFamine &operator=(const DescriptorFamine &) = delete;

private:
    rlimit m_limit{};
    std::vector<int> m_taken;
};

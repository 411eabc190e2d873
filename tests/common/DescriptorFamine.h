// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

/// Uses up every descriptor the host may open but the @p spare lowest, until it goes out of scope.
class DescriptorFamine
{
public:
    explicit DescriptorFamine(size_t spare = 0)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_limit);
        const rlimit lowered{std::min<rlim_t>(m_limit.rlim_cur, 256), m_limit.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_taken.push_back(fd);
        spare = std::min(spare, m_taken.size());
        std::for_each(m_taken.begin(), m_taken.begin() + long(spare), ::close);
        m_taken.erase(m_taken.begin(), m_taken.begin() + long(spare));
    }
    ~DescriptorFamine()
    {
        std::ranges::for_each(m_taken, ::close);
        ::setrlimit(RLIMIT_NOFILE, &m_limit);
    }
    DescriptorFamine(const DescriptorFamine &) = delete;
    DescriptorFamine &operator=(const DescriptorFamine &) = delete;

private:
    rlimit m_limit{};
    std::vector<int> m_taken;
};

/// Closes standard descriptors, as a daemon's host has them, until it goes out of scope.
class ClosedStandardStreams
{
public:
    explicit ClosedStandardStreams(std::initializer_list<int> fds)
    {
        for (const int fd : fds) {
            m_saved.emplace_back(fd, ::fcntl(fd, F_DUPFD_CLOEXEC, 3));
            ::close(fd);
        }
    }
    ~ClosedStandardStreams()
    {
        for (const auto &[fd, copy] : m_saved) {
            ::dup2(copy, fd);
            ::close(copy);
        }
    }
    ClosedStandardStreams(const ClosedStandardStreams &) = delete;
    ClosedStandardStreams &operator=(const ClosedStandardStreams &) = delete;

private:
    std::vector<std::pair<int, int>> m_saved;
};

// SPDX-License-Identifier: MIT
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace Lanyard {

/// Owns a file descriptor and closes it when it goes out of scope.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) noexcept
        : m_fd(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    /**
     * Owns @p fd, moved to a number above the standard descriptors when it took one of theirs (a
     * host that closed its standard streams frees those numbers). Such a host may open them
     * again or dup2 over them: it must neither get nor replace a descriptor of ours. The new
     * descriptor is close-on-exec; invalid when no number above is free.
     */
    static UniqueFd aboveStandard(int fd) noexcept
    {
        UniqueFd owned(fd);
        if (fd > STDERR_FILENO || fd < 0)
            return owned;
        return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    }

    int get() const noexcept { return m_fd; }
    bool isValid() const noexcept { return m_fd >= 0; }

    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

    int release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace Lanyard

// SPDX-License-Identifier: MIT
// Preloaded, every other read() of a non-blocking pipe fails with EAGAIN, as one may after poll()
// reported it readable (another reader took the bytes first). Other reads are left alone.
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) ssize_t read(int fd, void *bytes, size_t size)
{
    static thread_local bool nothing = false;
    struct stat info
    {
    };
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1 && (flags & O_NONBLOCK) != 0 && ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode)
        && (nothing = !nothing)) {
        errno = EAGAIN;
        return -1;
    }
    static const auto next = reinterpret_cast<ssize_t (*)(int, void *, size_t)>(::dlsym(RTLD_NEXT, "read"));
    return next(fd, bytes, size);
}

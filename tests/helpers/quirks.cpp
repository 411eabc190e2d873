// SPDX-License-Identifier: MIT
// Preloaded: quirks of other systems. No fallocate(); no lists of children (/proc/PID/task/TID/children),
// as a kernel built without them; as the variables say: LANYARD_TEST_FREE_BYTES free, pwrite() failing or
// short, every other read() of a non-blocking pipe failing with EAGAIN (another reader took the bytes).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#define LANYARD_EXPORT extern "C" __attribute__((visibility("default")))

LANYARD_EXPORT int fallocate(int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; }
LANYARD_EXPORT int fallocate64(int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; }

LANYARD_EXPORT FILE *fopen(const char *path, const char *mode)
{
    static const auto next = reinterpret_cast<FILE *(*)(const char *, const char *)>(::dlsym(RTLD_NEXT, "fopen"));
    const std::string_view name = path;
    return name.starts_with("/proc/") && name.ends_with("/children") ? (errno = ENOENT, nullptr) : next(path, mode);
}
LANYARD_EXPORT FILE *fopen64(const char *path, const char *mode) { return fopen(path, mode); }

LANYARD_EXPORT int fstatvfs(int fd, struct statvfs *room)
{
    static const auto next = reinterpret_cast<int (*)(int, struct statvfs *)>(::dlsym(RTLD_NEXT, "fstatvfs"));
    const int result = next(fd, room);
    if (const char *free = std::getenv("LANYARD_TEST_FREE_BYTES"); result == 0 && free)
        room->f_frsize = 1, room->f_bavail = std::strtoul(free, nullptr, 10);
    return result;
}

LANYARD_EXPORT ssize_t pwrite(int fd, const void *bytes, size_t size, off_t offset)
{
    if (const char *error = std::getenv("LANYARD_TEST_WRITE_ERROR"))
        return errno = std::atoi(error), -1;
    if (const char *most = std::getenv("LANYARD_TEST_SHORT_WRITES"))
        size = std::min(size, size_t(std::strtoul(most, nullptr, 10)));
    static const auto next = reinterpret_cast<ssize_t (*)(int, const void *, size_t, off_t)>(
        ::dlsym(RTLD_NEXT, "pwrite"));
    return next(fd, bytes, size, offset);
}

LANYARD_EXPORT ssize_t pwrite64(int fd, const void *b, size_t n, off_t at) { return pwrite(fd, b, n, at); }

LANYARD_EXPORT ssize_t read(int fd, void *bytes, size_t size)
{
    static thread_local bool nothing = false;
    struct stat info
    {
    };
    const int flags = ::fcntl(fd, F_GETFL);
    if (std::getenv("LANYARD_TEST_EMPTY_READS") && flags != -1 && (flags & O_NONBLOCK) != 0 && ::fstat(fd, &info) == 0
        && S_ISFIFO(info.st_mode) && (nothing = !nothing))
        return errno = EAGAIN, -1;
    static const auto next = reinterpret_cast<ssize_t (*)(int, void *, size_t)>(::dlsym(RTLD_NEXT, "read"));
    return next(fd, bytes, size);
}

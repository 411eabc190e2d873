// SPDX-License-Identifier: MIT
// Preloaded: no fallocate(); LANYARD_TEST_FREE_BYTES free, pwrite() failing or short as the variables say.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/statvfs.h>
#include <unistd.h>

#define LANYARD_EXPORT extern "C" __attribute__((visibility("default")))

LANYARD_EXPORT int fallocate(int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; }
LANYARD_EXPORT int fallocate64(int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; }

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

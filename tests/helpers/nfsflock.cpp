// Preloaded into a program, makes flock() behave as Linux emulates it on NFS: with a byte-range
// lock, so that an exclusive lock needs a descriptor open for writing (a folder never is).
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>

extern "C" __attribute__((visibility("default"))) int flock(int fd, int operation)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return -1;
    if ((operation & LOCK_EX) && (flags & O_ACCMODE) == O_RDONLY) {
        errno = EBADF;
        return -1;
    }
    using Flock = int (*)(int, int);
    static const auto next = reinterpret_cast<Flock>(::dlsym(RTLD_NEXT, "flock"));
    return next(fd, operation);
}

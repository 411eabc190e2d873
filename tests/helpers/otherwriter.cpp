// Preloaded into a program, plays another writer of a file: when the program first asks for an
// exclusive fcntl lock, the line in LANYARD_OTHER_WRITER_LINE is appended to the file
// LANYARD_OTHER_WRITER_FILE, as if another program had saved it just before.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

void writeOnce(int command, const void *argument)
{
    static bool written = false;
    const auto *lock = static_cast<const struct flock *>(argument);
    if (written || (command != F_OFD_SETLK && command != F_SETLK) || !lock || lock->l_type != F_WRLCK)
        return;
    written = true;
    const char *file = std::getenv("LANYARD_OTHER_WRITER_FILE");
    const char *line = std::getenv("LANYARD_OTHER_WRITER_LINE");
    if (!file || !line)
        return;
    const int fd = ::open(file, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 || ::write(fd, line, std::strlen(line)) < 0)
        std::abort();
    ::close(fd);
}

int forward(const char *name, int fd, int command, void *argument)
{
    using Fcntl = int (*)(int, int, ...);
    const auto next = reinterpret_cast<Fcntl>(::dlsym(RTLD_NEXT, name));
    writeOnce(command, argument);
    return next(fd, command, argument);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int fcntl(int fd, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return forward("fcntl", fd, command, argument);
}

extern "C" __attribute__((visibility("default"))) int fcntl64(int fd, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return forward("fcntl64", fd, command, argument);
}

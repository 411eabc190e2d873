// SPDX-License-Identifier: MIT
// Preloaded: at the first exclusive fcntl lock, LANYARD_OTHER_WRITER_LINE goes to the end of ..._FILE.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

int forward(const char *name, int fd, int command, va_list arguments)
{
    auto *lock = va_arg(arguments, struct flock *);
    static bool written = false;
    const char *file = std::getenv("LANYARD_OTHER_WRITER_FILE"), *line = std::getenv("LANYARD_OTHER_WRITER_LINE");
    if (!written && (command == F_OFD_SETLK || command == F_SETLK) && lock && lock->l_type == F_WRLCK && file && line) {
        written = true;
        const int out = ::open(file, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (out < 0 || ::write(out, line, std::strlen(line)) < 0)
            std::abort();
        ::close(out);
    }
    using Fcntl = int (*)(int, int, ...);
    return reinterpret_cast<Fcntl>(::dlsym(RTLD_NEXT, name))(fd, command, lock);
}

} // namespace

#define LANYARD_FORWARD(name)                                                                                          \
    extern "C" __attribute__((visibility("default"))) int name(int fd, int command, ...)                               \
    {                                                                                                                  \
        va_list arguments;                                                                                             \
        va_start(arguments, command);                                                                                  \
        const int result = forward(#name, fd, command, arguments);                                                     \
        va_end(arguments);                                                                                             \
        return result;                                                                                                 \
    }
LANYARD_FORWARD(fcntl)
LANYARD_FORWARD(fcntl64)

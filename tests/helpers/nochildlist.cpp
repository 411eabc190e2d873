// SPDX-License-Identifier: MIT
// Preloaded into a program, hides the kernel's list of a task's children
// (/proc/PID/task/TID/children), as a kernel built without it does.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

namespace {

bool isChildList(const char *path)
{
    const char *suffix = "/children";
    const size_t length = std::strlen(path);
    return std::strncmp(path, "/proc/", 6) == 0 && length > std::strlen(suffix)
           && std::strcmp(path + length - std::strlen(suffix), suffix) == 0;
}

using Fopen = FILE *(*)(const char *, const char *);

FILE *opened(const char *symbol, const char *path, const char *mode)
{
    if (isChildList(path)) {
        errno = ENOENT;
        return nullptr;
    }
    const auto next = reinterpret_cast<Fopen>(::dlsym(RTLD_NEXT, symbol));
    return next(path, mode);
}

} // namespace

extern "C" __attribute__((visibility("default"))) FILE *fopen(const char *path, const char *mode)
{
    return opened("fopen", path, mode);
}

extern "C" __attribute__((visibility("default"))) FILE *fopen64(const char *path, const char *mode)
{
    return opened("fopen64", path, mode);
}

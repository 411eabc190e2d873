// SPDX-License-Identifier: MIT
// Preloaded, hides /proc/PID/task/TID/children, as a kernel built without the list does.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

static FILE *opened(const char *symbol, const char *path, const char *mode)
{
    const size_t length = std::strlen(path);
    if (std::strncmp(path, "/proc/", 6) == 0 && length > 9 && std::strcmp(path + length - 9, "/children") == 0) {
        errno = ENOENT;
        return nullptr;
    }
    return reinterpret_cast<FILE *(*)(const char *, const char *)>(::dlsym(RTLD_NEXT, symbol))(path, mode);
}

extern "C" __attribute__((visibility("default"))) FILE *fopen(const char *path, const char *mode)
{
    return opened("fopen", path, mode);
}
extern "C" __attribute__((visibility("default"))) FILE *fopen64(const char *path, const char *mode)
{
    return opened("fopen64", path, mode);
}

// SPDX-License-Identifier: MIT
// Test helper: writes to $LANYARD_RECORDER_OUT (renamed into place) NUL-terminated "key=value" entries:
// cwd, fds (ascending), stdin (what 0 refers to), session (1 when it leads its own), one arg each.
#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

int main(int argc, char **argv)
{
    const char *out = std::getenv("LANYARD_RECORDER_OUT");
    if (!out || !*out)
        return 2;
    std::set<int> fds; // before anything here opens a file of its own
    DIR *dir = ::opendir("/proc/self/fd");
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(dir))
            fds.insert(std::atoi(entry->d_name));
    }
    if (dir)
        ::closedir(dir);
    char text[PATH_MAX];
    std::string record = std::string("cwd=") + (::getcwd(text, sizeof text) ? text : "") + '\0' + "fds=";
    for (const int fd : fds)
        record += (fd == *fds.begin() ? "" : ",") + std::to_string(fd);
    const ssize_t length = ::readlink("/proc/self/fd/0", text, sizeof text);
    record += std::string(1, '\0') + "stdin=" + std::string(text, size_t(length > 0 ? length : 0)) + '\0';
    record += std::string("session=") + (::getsid(0) == ::getpid() ? "1" : "0") + '\0';
    for (int i = 1; i < argc; ++i)
        record += std::string("arg=") + argv[i] + '\0';
    const std::string partial = std::string(out) + ".part";
    FILE *file = std::fopen(partial.c_str(), "wb");
    const bool written = file && std::fwrite(record.data(), 1, record.size(), file) == record.size();
    return file && std::fclose(file) == 0 && written && std::rename(partial.c_str(), out) == 0 ? 0 : 4;
}

// SPDX-License-Identifier: MIT
// A program for the launch tests: it records how it was started and ends at once. The record goes
// to the file named by LANYARD_RECORDER_OUT (nothing is written without it), NUL-terminated
// "key=value" entries: cwd (current directory), fds (open descriptors, comma-separated,
// ascending), stdin (what descriptor 0 refers to), session (1 when it leads its own session),
// then one arg per argument after argv[0]. It is written beside its final name and renamed into
// place, so a reader that sees the file sees all of it.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
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
    std::set<int> fds; // taken before anything here opens a file of its own
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(dir))
                fds.insert(std::atoi(entry->d_name));
        }
        ::closedir(dir);
    }
    std::string record;
    const auto entry = [&](const std::string &key, const std::string &value) {
        record += key + '=' + value;
        record += '\0';
    };
    char text[PATH_MAX];
    entry("cwd", ::getcwd(text, sizeof text) ? text : "");
    std::string list;
    for (const int fd : fds)
        list += (list.empty() ? "" : ",") + std::to_string(fd);
    entry("fds", list);
    const ssize_t length = ::readlink("/proc/self/fd/0", text, sizeof text);
    entry("stdin", std::string(text, size_t(std::max<ssize_t>(length, 0))));
    entry("session", ::getsid(0) == ::getpid() ? "1" : "0");
    for (int i = 1; i < argc; ++i)
        entry("arg", argv[i]);
    const std::string partial = std::string(out) + ".part";
    FILE *file = std::fopen(partial.c_str(), "wb");
    if (!file)
        return 3;
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    return std::fclose(file) == 0 && written && std::rename(partial.c_str(), out) == 0 ? 0 : 4;
}

// SPDX-License-Identifier: MIT
// A program for the launch tests: it records how it was started and ends at once.
//
// The record goes to the file named by the environment variable LANYARD_RECORDER_OUT (nothing
// is written without it). It is a sequence of NUL-terminated "key=value" entries:
//   cwd=<current directory>
//   fds=<open descriptors, comma-separated, ascending>
//   stdin=<what descriptor 0 refers to>
//   session=<1 when the program leads its own session, else 0>
//   arg=<argument>            one entry per argument after argv[0], in order
// The file is written beside its final name and renamed into place, so a reader that sees
// the file sees all of it.
#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

std::string openDescriptors()
{
    std::set<int> fds;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(dir);
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const int fd = std::atoi(entry->d_name);
            if (fd != own)
                fds.insert(fd);
        }
        ::closedir(dir);
    }
    std::string text;
    for (int fd : fds)
        text += (text.empty() ? "" : ",") + std::to_string(fd);
    return text;
}

std::string linkTarget(const char *link)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}

} // namespace

int main(int argc, char **argv)
{
    const char *out = std::getenv("LANYARD_RECORDER_OUT");
    if (!out || !*out)
        return 2;
    // Taken before anything here opens a file of its own.
    const std::string fds = openDescriptors();
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';

    std::string record;
    const auto entry = [&](const std::string &key, const std::string &value) {
        record += key + '=' + value;
        record += '\0';
    };
    entry("cwd", cwd);
    entry("fds", fds);
    entry("stdin", linkTarget("/proc/self/fd/0"));
    entry("session", ::getsid(0) == ::getpid() ? "1" : "0");
    for (int i = 1; i < argc; ++i)
        entry("arg", argv[i]);

    const std::string partial = std::string(out) + ".part";
    FILE *file = std::fopen(partial.c_str(), "wb");
    if (!file)
        return 3;
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), out) != 0)
        return 4;
    return 0;
}

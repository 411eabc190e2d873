// SPDX-License-Identifier: MIT
// Test helper: writes what its arguments say, in order, straight to the descriptors.
//   out:TEXT  err:TEXT   TEXT to stdout / stderr in one write
//   fill:N               N bytes of "0123456789" repeated, to stdout in one write
//   sleep:MS             pause
//   drain                wait (ten seconds at most) until what went to stdout has been read
//   exit:CODE            exit at once with CODE
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written <= 0)
            std::exit(3);
        done += static_cast<size_t>(written);
    }
}

std::string pattern(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('0' + i % 10);
    return text;
}

/// Returns once the pipe on stdout holds nothing unread: so that a command can end only after
/// its reader has had all it wrote.
void drain()
{
    for (int i = 0; i < 1000; ++i) {
        int unread = 0;
        if (::ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0 || unread == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const size_t colon = action.find(':');
        const std::string verb = action.substr(0, colon);
        const std::string value = colon == std::string::npos ? std::string() : action.substr(colon + 1);
        if (verb == "out")
            writeAll(STDOUT_FILENO, value);
        else if (verb == "err")
            writeAll(STDERR_FILENO, value);
        else if (verb == "fill")
            writeAll(STDOUT_FILENO, pattern(std::strtoul(value.c_str(), nullptr, 10)));
        else if (verb == "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(value.c_str())));
        else if (verb == "drain")
            drain();
        else if (verb == "exit")
            return std::atoi(value.c_str());
        else
            return 2;
    }
    return 0;
}

// SPDX-License-Identifier: MIT
// Test helper: does what its arguments say, in order, straight to the descriptors.
//   out:TEXT err:TEXT  TEXT to stdout / stderr in one write    sleep:MS  pause
//   fill:N             N bytes of "0123456789"... to stdout      exit:CODE exit at once with CODE
//   drain              wait (ten seconds at most) until what went to stdout has been read
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const std::string &text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written <= 0)
            std::exit(3);
        done += size_t(written);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const std::string verb = action.substr(0, action.find(':'));
        const std::string value = action.substr(std::min(action.size(), verb.size() + 1));
        if (verb == "out" || verb == "err") {
            writeAll(verb == "out" ? STDOUT_FILENO : STDERR_FILENO, value);
        } else if (verb == "fill") {
            std::string text(std::strtoul(value.c_str(), nullptr, 10), '\0');
            for (size_t at = 0; at < text.size(); ++at)
                text[at] = char('0' + at % 10);
            writeAll(STDOUT_FILENO, text);
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(value.c_str())));
        } else if (verb == "drain") { // so that a command ends only once its reader has had all
            int unread = 1;
            for (int round = 0; round < 1000 && ::ioctl(STDOUT_FILENO, FIONREAD, &unread) == 0 && unread > 0; ++round)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (verb == "exit") {
            return std::atoi(value.c_str());
        } else {
            return 2;
        }
    }
    return 0;
}

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

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string action = argv[i];
        const std::string verb = action.substr(0, action.find(':'));
        std::string value = action.substr(std::min(action.size(), verb.size() + 1));
        if (verb == "fill") {
            value.assign(std::strtoul(value.c_str(), nullptr, 10), '\0');
            for (size_t at = 0; at < value.size(); ++at)
                value[at] = char('0' + at % 10);
        }
        if (verb == "out" || verb == "err" || verb == "fill") {
            for (size_t done = 0; done < value.size();) {
                const ssize_t written = ::write(verb == "err" ? STDERR_FILENO : STDOUT_FILENO, value.data() + done,
                                                value.size() - done);
                if (written <= 0)
                    return 3;
                done += size_t(written);
            }
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(value.c_str())));
        } else if (verb == "drain") {
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

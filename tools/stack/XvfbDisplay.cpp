#include "XvfbDisplay.h"

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

XvfbDisplay::XvfbDisplay(const std::vector<std::string>& arguments) {
    // Xvfb writes the display number it chose once it accepts clients. Every test runs in
    // a network namespace of its own, so each Xvfb finds display 0 free on its abstract
    // socket; the socket file in /tmp/.X11-unix is one for all of them, and each server
    // replaced or removed the others' as it started or ended. Listening only on the abstract
    // socket keeps a test's clients on its own server. Without a reset when the last client
    // leaves, a client that comes between two others does not meet a server mid-restart.
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    ::fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(ready[1]),
                                     "-nolisten", "tcp",        "-nolisten",
                                     "unix",      "-noreset"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    server_ = std::make_unique<ChildProcess>(argv);
    ::close(ready[1]);
    std::string number;
    pollfd pfd{ready[0], POLLIN, 0};
    char c;
    while (::poll(&pfd, 1, 10000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(ready[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start");
    name_ = ":" + number;
}

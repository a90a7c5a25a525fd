#include "XvfbDisplay.h"

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

XvfbDisplay::XvfbDisplay(const std::vector<std::string>& arguments) {
    // Xvfb writes the display number it chose once it accepts clients.
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    ::fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-nolisten",
                                     "tcp"};
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

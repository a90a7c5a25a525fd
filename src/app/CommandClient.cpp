#include "app/CommandClient.h"

#include "app/StatusReport.h"
#include "platform/UserText.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using CommandLine::Exit;
using CommandLine::Verb;

namespace {

bool sendAll(int fd, const std::string& data) {
    for (size_t sent = 0; sent < data.size();) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

} // namespace

int CommandClient::unexpected() {
    tell(USER_TEXT("Messages", "Quovant answered something unexpected."));
    return Exit::unreachable;
}

void CommandClient::say(FILE* stream, const std::string& line) {
    std::fputs((line + "\n").c_str(), stream);
    // A status bar reads each line as it comes.
    std::fflush(stream);
}

void CommandClient::tell(const std::string& message) {
    say(deps_.err, translated(message));
}

std::string CommandClient::translated(const std::string& message) const {
    return deps_.translate ? deps_.translate(message) : message;
}

std::string CommandClient::notRunningStatus(const CommandLine::Command& command) const {
    return StatusReport::notRunning(command.json, translated(StatusReport::notRunningText));
}

int CommandClient::run(const CommandLine::Command& command) {
    const int fd = connectOrStart(command);
    if (fd == busy) {
        tell(USER_TEXT("Messages",
                       "Quovant is running but too busy to take the command; try again."));
        return Exit::unreachable;
    }
    if (fd < 0) {
        if (command.verb == Verb::status)
            say(deps_.out, notRunningStatus(command));
        else if (command.verb == Verb::connect)
            tell(USER_TEXT("Messages", "Quovant could not be started."));
        else
            tell(USER_TEXT("Messages", "Quovant is not running."));
        return command.verb == Verb::connect ? Exit::unreachable : Exit::notRunning;
    }
    const int status = relay(fd, command);
    ::close(fd);
    return status;
}

int CommandClient::connectOrStart(const CommandLine::Command& command) {
    int fd = deps_.connectToRunning();
    if (fd != notRunning || command.verb != Verb::connect)
        return fd;
    if (!deps_.startInTray())
        return notRunning;
    // It listens once its start has got that far; until then there is nothing to reach.
    const auto deadline = std::chrono::steady_clock::now() + deps_.startLimit;
    while ((fd = deps_.connectToRunning()) == notRunning &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fd;
}

std::optional<int> CommandClient::answer(const std::string& line) {
    if (line.starts_with("out "))
        say(deps_.out, line.substr(4));
    else if (line.starts_with("err "))
        tell(line.substr(4));
    else if (line.size() == 6 && line.starts_with("exit ") && line[5] >= '0' && line[5] <= '5')
        return line[5] - '0';
    else
        return unexpected();
    return std::nullopt;
}

int CommandClient::relay(int fd, const CommandLine::Command& command) {
    if (!sendAll(fd, CommandLine::request(command) + "\n")) {
        tell(USER_TEXT("Messages", "Quovant did not take the command."));
        return Exit::unreachable;
    }
    // A quit is answered by the instance's end; a follow and a wait take as long as they
    // take, and end with the instance at the latest.
    const bool endless = command.follow || command.wait;
    const auto deadline = std::chrono::steady_clock::now() + deps_.answerLimit;
    std::string buffer;
    for (;;) {
        for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
            const std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            if (const std::optional<int> status = answer(line))
                return *status;
        }
        if (buffer.size() > maxLine)
            return unexpected();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!endless && left.count() <= 0) {
            tell(USER_TEXT("Messages", "Quovant did not answer in time."));
            return Exit::unreachable;
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, endless ? -1 : int(left.count()));
        if (ready < 0 && errno != EINTR)
            return Exit::unreachable;
        if (ready <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            if (command.verb == Verb::quit)
                return Exit::done;
            // A status bar's last line is then no longer a stale status.
            if (command.follow)
                say(deps_.out, notRunningStatus(command));
            else
                tell(USER_TEXT("Messages", "Quovant ended."));
            return Exit::notRunning;
        }
        buffer.append(chunk, size_t(n));
    }
}

bool CommandClient::startDetached(const std::string& executable) {
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // A session of its own and no parent to wait for it: Quovant outlives this
        // command and its terminal.
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int stream = 0; stream < 3; ++stream)
            ::dup2(devNull, stream);
        ::execl(executable.c_str(), executable.c_str(), "--tray", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#include "helperd/CallerProcess.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace {

// The start of a small file of /proc; empty when it cannot be read.
std::string readProc(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return {};
    std::string text(4096, '\0');
    const ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::optional<uint64_t> number(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

// Whether the process of `pidfd` has ended: its pidfd turns readable then.
bool ended(int pidfd) {
    pollfd p{pidfd, POLLIN, 0};
    return ::poll(&p, 1, 0) != 0;
}

} // namespace

std::optional<uint64_t> CallerProcess::startTimeOf(pid_t pid) {
    const std::string text = readProc("/proc/" + std::to_string(pid) + "/stat");
    // The command name (field 2) may hold anything, ')' and blanks too: the fields after it
    // begin after its last ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos || close + 3 > text.size())
        return std::nullopt;
    // Field 3 (state) is the first after the name; a zombie has ended.
    if (text[close + 2] == 'Z' || text[close + 2] == 'X')
        return std::nullopt;
    size_t at = close + 1;
    for (int field = 3; field < 22; ++field) {
        at = text.find(' ', at + 1);
        if (at == std::string::npos)
            return std::nullopt;
    }
    const size_t end = text.find(' ', at + 1);
    const auto value = number(std::string_view(text).substr(at + 1, end - at - 1));
    if (!value || *value == 0)
        return std::nullopt;
    return value;
}

std::optional<uid_t> CallerProcess::ownerOf(pid_t pid) {
    const std::string text = readProc("/proc/" + std::to_string(pid) + "/status");
    // "Uid:\treal\teffective\tsaved\tfs"
    const size_t line = text.find("\nUid:\t");
    if (line == std::string::npos)
        return std::nullopt;
    const size_t effective = text.find('\t', line + 6);
    if (effective == std::string::npos)
        return std::nullopt;
    const auto value = number(std::string_view(text).substr(effective + 1));
    if (!value || *value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uid_t>(*value);
}

CallerProcess CallerProcess::pinned(pid_t pid, uid_t uid, uint64_t startTime) {
    CallerProcess process;
    process.pid_ = pid;
    process.uid_ = uid;
    process.startTime_ = startTime;
    return process;
}

CallerProcess CallerProcess::pin(int socket, pid_t pid, uid_t uid) {
    CallerProcess process;
    process.pid_ = pid;
    process.uid_ = uid;
    int pidfd = -1;
    socklen_t length = sizeof pidfd;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &length) == 0) {
        process.pidfd_.reset(pidfd);
    } else if (errno != ENOPROTOOPT) {
        // The kernel hands out pidfds, but not of a process that is gone.
        process.unpinned_ = "its process had ended before the helper took the connection";
        return process;
    }
    const auto startTime = pid > 0 ? startTimeOf(pid) : std::nullopt;
    const auto owner = pid > 0 ? ownerOf(pid) : std::nullopt;
    // With a pidfd, what was read is the caller's if its process still lives after the
    // reads: its pid cannot have been given to another before it has ended. Without one,
    // the pid may already be another's; only one of the caller's own uid goes for it.
    if (!startTime || (process.pidfd() >= 0 && ended(process.pidfd())))
        process.unpinned_ = "its process had ended before the helper took the connection";
    else if (!owner || *owner != uid)
        process.unpinned_ = "the process with its pid is not the caller's";
    else
        process.startTime_ = *startTime;
    return process;
}

std::optional<std::string> CallerProcess::gone() const {
    if (!isPinned())
        return unpinned_;
    if (pidfd() >= 0 ? ended(pidfd()) : startTimeOf(pid_) != startTime_)
        return "the process that connected has ended";
    return std::nullopt;
}

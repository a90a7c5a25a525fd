#include "installer/RunningHelper.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr size_t maxPidfile = 32;

// Debian 12's C library declares these without C linkage for C++, so the system calls
// are made directly.
int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int pidfd, int signalNumber) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signalNumber, nullptr, 0));
}
constexpr const char* deletedSuffix = " (deleted)";

std::string executableOf(pid_t pid) {
    char buffer[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 && static_cast<size_t>(n) < sizeof buffer
               ? std::string(buffer, static_cast<size_t>(n))
               : std::string();
}

// A running helper's file may have been replaced since it started; the kernel then
// shows its old path with a suffix.
bool isOneOf(const std::string& executable, const std::vector<std::string>& executables) {
    for (const auto& e : executables)
        if (executable == e || executable == e + deletedSuffix)
            return true;
    return false;
}

pid_t parsePid(const std::string& text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 9 || (digits < text.size() && text.substr(digits) != "\n"))
        return -1;
    const long pid = std::stol(text.substr(0, digits));
    return pid > 1 ? static_cast<pid_t>(pid) : -1;
}

} // namespace

RunningHelper::Outcome RunningHelper::stop(const TrustedDir& dir, const std::string& pidfile,
                                           const std::vector<std::string>& executables,
                                           std::chrono::milliseconds patience) {
    std::string text;
    if (!dir.readSmallFile(pidfile, maxPidfile, text))
        return Outcome::noneRunning;
    const pid_t pid = parsePid(text);
    if (pid < 0)
        return Outcome::foreign;
    // The pidfd pins this very process: the number cannot move to another one between
    // the check of its executable and the signal.
    const int pidfd = pidfdOpen(pid);
    if (pidfd < 0)
        return errno == ESRCH ? Outcome::noneRunning : Outcome::foreign;
    if (!isOneOf(executableOf(pid), executables)) {
        ::close(pidfd);
        return Outcome::foreign;
    }
    if (pidfdSendSignal(pidfd, SIGTERM) != 0) {
        const bool gone = errno == ESRCH;
        ::close(pidfd);
        if (gone)
            return Outcome::noneRunning;
        throw std::runtime_error("cannot stop the running helper (pid " + std::to_string(pid) +
                                 "): " + std::strerror(errno));
    }
    pollfd exited{pidfd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int ready = 0;
    while (ready == 0 && std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        ready = ::poll(&exited, 1, static_cast<int>(std::max<long>(left.count(), 1)));
        if (ready < 0 && errno == EINTR)
            ready = 0;
    }
    ::close(pidfd);
    if (ready <= 0)
        throw std::runtime_error("the running helper (pid " + std::to_string(pid) +
                                 ") does not stop");
    return Outcome::stopped;
}

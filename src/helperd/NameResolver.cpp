#include "helperd/NameResolver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <netdb.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Far more than eight addresses for each of the names a profile may hold.
constexpr size_t maxOutputBytes = 256 * 1024;
// Of each name's addresses, more than openvpn is handed of either family.
constexpr size_t maxAddressesKept = 4 * NumericRemotes::maxAddressesPerName;

// In the child: one line "INDEX ADDRESS" per address, in the resolver's order.
[[noreturn]] void resolveInChild(const std::vector<std::string>& names, int out) {
    for (size_t i = 0; i < names.size(); ++i) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM; // one entry per address
        addrinfo* found = nullptr;
        if (::getaddrinfo(names[i].c_str(), nullptr, &hints, &found) != 0)
            continue;
        for (const addrinfo* a = found; a; a = a->ai_next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void* raw = a->ai_family == AF_INET
                                  ? static_cast<const void*>(
                                        &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr)
                                  : static_cast<const void*>(
                                        &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr);
            if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
                !::inet_ntop(a->ai_family, raw, text, sizeof text))
                continue;
            const std::string line = std::to_string(i) + " " + text + "\n";
            if (::write(out, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                ::_exit(1);
        }
        ::freeaddrinfo(found);
    }
    ::_exit(0);
}

} // namespace

NameResolver::~NameResolver() {
    cancel();
}

Result<void> NameResolver::start(std::vector<std::string> names) {
    cancel();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return Result<void>::failure(std::string("pipe failed: ") + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int forkError = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return Result<void>::failure(std::string("fork failed: ") + std::strerror(forkError));
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int out = ::fcntl(pipeFds[1], F_DUPFD, 3);
        ::dup2(out, 3);
        // Nothing of the daemon's (its listening socket, its clients, the nftables
        // socket) may reach a child that runs as nobody.
        if (::syscall(SYS_close_range, 4, ~0U, 0) != 0)
            ::_exit(125);
        // Its only way out is the pipe: root's log, which the daemon's standard output
        // and error may be, is nothing a process of nobody's may write to.
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 ||
            ::dup2(devNull, STDOUT_FILENO) < 0 || ::dup2(devNull, STDERR_FILENO) < 0)
            ::_exit(125);
        if (devNull > STDERR_FILENO)
            ::close(devNull);
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(resolverGid, resolverGid, resolverGid) != 0 ||
            ::setresuid(resolverUid, resolverUid, resolverUid) != 0 ||
            ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            ::_exit(126);
        resolveInChild(names, 3);
    }
    ::close(pipeFds[1]);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    names_ = std::move(names);
    pid_ = pid;
    fd_ = pipeFds[0];
    output_.clear();
    deadline_ = Clock::now() + timeout;
    return Result<void>::success();
}

std::optional<NumericRemotes::Addresses> NameResolver::read() {
    if (!running())
        return std::nullopt;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0 && output_.size() + static_cast<size_t>(n) <= maxOutputBytes) {
            output_.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return std::nullopt;
        // The end of its output, a broken pipe, or more than any honest answer.
        return stop();
    }
}

NumericRemotes::Addresses NameResolver::stop() {
    auto addresses = collected();
    cancel();
    return addresses;
}

void NameResolver::cancel() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

NumericRemotes::Addresses NameResolver::collected() const {
    NumericRemotes::Addresses addresses;
    size_t start = 0;
    for (size_t end; (end = output_.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = output_.substr(start, end - start);
        const size_t space = line.find(' ');
        if (space == 0 || space == std::string::npos || space > 4 ||
            !std::all_of(line.begin(), line.begin() + static_cast<long>(space),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const size_t index = std::stoul(line.substr(0, space));
        const auto address = NumericRemotes::remoteAddress(line.substr(space + 1));
        if (index >= names_.size() || !address)
            continue;
        auto& list = addresses[names_[index]];
        if (list.size() < maxAddressesKept &&
            std::find(list.begin(), list.end(), *address) == list.end())
            list.push_back(*address);
    }
    return addresses;
}

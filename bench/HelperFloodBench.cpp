// How long another user's getVersion waits while one user floods the helper: uid 1000
// pipelines guarded runOpenVPN requests with a profile of the largest size (~10,000
// server names), and uid 1001 asks for the version, one request after the other, until
// the flood has been answered. Prints the waits (median, 95th percentile, largest) and
// how long the flood took. Needs root (a private network namespace, the helper). Argument:
// the number of requests in the flood (default 60).
#include "HelperDaemon.h"
#include "TempDir.h"
#include "TestNetwork.h"
#include "helper/FdPassing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return fd;
}

// Reads until `lines` line feeds have come or 60 s have passed.
bool readLines(int fd, size_t lines) {
    size_t seen = 0;
    char chunk[4096];
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (seen < lines && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        seen += static_cast<size_t>(std::count(chunk, chunk + n, '\n'));
    }
    return seen >= lines;
}

pid_t asUser(uid_t uid, int write, const std::function<std::string()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)
            ::_exit(2);
        const std::string out = body();
        [[maybe_unused]] const ssize_t n = ::write(write, out.data(), out.size());
        ::_exit(0);
    }
    return child;
}

} // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    isolateNetwork();
    HelperDaemon daemon;
    TempDir dir("quovant-flood");
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::string heavy = "client\ndev tun\nnobind\nauth-user-pass\nremote-cert-tls server\n";
    for (int i = 0; heavy.size() < 250 * 1024; ++i)
        heavy += "remote h" + std::to_string(i) + ".quovant.test 1194\n";
    const auto profile = dir.write("heavy.ovpn", heavy, std::filesystem::perms(0600));
    if (::chown(profile.c_str(), 1000, 1000) != 0)
        return 1;

    int floodDone[2], waits[2];
    if (::pipe(floodDone) != 0 || ::pipe(waits) != 0)
        return 1;
    const auto start = Clock::now();
    const pid_t flooder = asUser(1000, floodDone[1], [&] {
        const int fd = connectTo(daemon.socketPath());
        // Pipelined, each with its profile open as the application sends it.
        for (int id = 1; id <= requests; ++id) {
            const std::string line = "{\"v\":1,\"id\":" + std::to_string(id) +
                                     ",\"op\":\"runOpenVPN\",\"client_up\":\"" + daemon.upScript() +
                                     "\",\"client_down\":\"" + daemon.downScript() +
                                     "\",\"block_leaks\":true}\n";
            const UniqueFd file(::open(profile.c_str(), O_RDONLY | O_CLOEXEC));
            FdPassing::send(fd, line, file.get());
        }
        const bool all = readLines(fd, static_cast<size_t>(requests));
        return std::string(all ? "answered" : "unanswered");
    });
    ::close(floodDone[1]);
    const pid_t asker = asUser(1001, waits[1], [&] {
        std::string out;
        pollfd done{floodDone[0], POLLIN, 0};
        const int fd = connectTo(daemon.socketPath());
        for (uint64_t id = 1; ::poll(&done, 1, 0) == 0 && id < 100000; ++id) {
            const std::string request =
                "{\"v\":1,\"id\":" + std::to_string(id) + ",\"op\":\"getVersion\"}\n";
            const auto asked = Clock::now();
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            if (!readLines(fd, 1))
                break;
            out += std::to_string(Ms(Clock::now() - asked).count()) + "\n";
        }
        return out;
    });
    ::close(waits[1]);
    std::string verdict(64, '\0');
    verdict.resize(static_cast<size_t>(
        std::max<ssize_t>(0, ::read(floodDone[0], verdict.data(), verdict.size()))));
    const double floodMs = Ms(Clock::now() - start).count();
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(waits[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<size_t>(n));
    ::waitpid(flooder, nullptr, 0);
    ::waitpid(asker, nullptr, 0);
    std::vector<double> ms;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        ms.push_back(std::stod(text.substr(at, end - at)));
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        std::printf("no getVersion was answered during the flood\n");
        return 1;
    }
    std::printf("flood of %d guarded runOpenVPN (%zu kB profile): %s in %.0f ms\n", requests,
                heavy.size() / 1024, verdict.c_str(), floodMs);
    std::printf("another user's getVersion during the flood: %zu answered, median %.3f ms, "
                "p95 %.3f ms, largest %.1f ms\n",
                ms.size(), ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    return 0;
}

#pragma once

// Traffic of a normal user's process to the far side of the test server's veth pair,
// outside the tunnel and through it, and whether it arrives: what the leak guard's tests
// look at. Header-only: the stack it runs against has no test framework.
#include "ChildProcess.h"
#include "OpenVPNServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace TrafficProbe {

using namespace std::chrono_literals;

constexpr uid_t normalUser = 1000;
constexpr const char* guardTable = "quovant_guard";

enum class Kind { tcp, udp, dns };

inline uint16_t portOf(Kind kind) {
    switch (kind) {
    case Kind::tcp:
        return 7000;
    case Kind::udp:
        return 7001;
    case Kind::dns:
        return 53;
    }
    return 0;
}

inline const char* nameOf(Kind kind) {
    return kind == Kind::tcp ? "TCP" : kind == Kind::udp ? "UDP" : "DNS";
}

// The veth pair's IPv6 addresses, which the test adds: the tunnel carries no IPv6.
constexpr const char* hostAddress6 = "fd21:3::1";
constexpr const char* linkAddress6 = "fd21:3::2";

struct Address {
    sockaddr_storage storage{};
    socklen_t size = 0;
    int family = AF_INET;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

inline Address addressOf(const std::string& host, uint16_t port) {
    Address address;
    if (host.find(':') == std::string::npos) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        ::inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
        address.size = sizeof *v4;
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        ::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
        address.size = sizeof *v6;
        address.family = AF_INET6;
    }
    return address;
}

// Gives both ends of the veth pair an IPv6 address (no duplicate detection, so they are
// usable at once).
inline bool addIPv6(const OpenVPNServer& server) {
    const std::string pid = std::to_string(server.namespacePid());
    return runCommand({"ip", "-6", "addr", "add", std::string(hostAddress6) + "/64", "dev",
                       "qv-host", "nodad"}) == 0 &&
           runCommand({"nsenter", "-t", pid, "-n", "ip", "-6", "addr", "add",
                       std::string(linkAddress6) + "/64", "dev", "qv-server", "nodad"}) == 0;
}

// Listeners on the server's side of the veth pair, on its link address (outside the
// tunnel) and its tunnel address: sockets made by a thread that entered the server's
// network namespace stay in it.
class FarSide {
public:
    explicit FarSide(const OpenVPNServer& server,
                     std::vector<std::string> hosts = {OpenVPNServer::linkAddress,
                                                       OpenVPNServer::tunnelAddress, linkAddress6})
        : hosts_(std::move(hosts)) {
        const std::string ns = "/proc/" + std::to_string(server.namespacePid()) + "/ns/net";
        std::thread([&] {
            const int nsFd = ::open(ns.c_str(), O_RDONLY | O_CLOEXEC);
            if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0)
                return;
            ::close(nsFd);
            for (const std::string& host : hosts_)
                for (Kind kind : {Kind::tcp, Kind::udp, Kind::dns}) {
                    const Address address = addressOf(host, portOf(kind));
                    const int fd = ::socket(address.family,
                                            (kind == Kind::tcp ? SOCK_STREAM : SOCK_DGRAM) |
                                                SOCK_CLOEXEC | SOCK_NONBLOCK,
                                            0);
                    if (::bind(fd, address.get(), address.size) == 0 &&
                        (kind != Kind::tcp || ::listen(fd, 8) == 0))
                        sockets_[{host, kind}] = fd;
                    else
                        ::close(fd);
                }
        }).join();
    }
    ~FarSide() {
        for (const auto& [key, fd] : sockets_)
            ::close(fd);
    }
    bool ready() const { return sockets_.size() == 3 * hosts_.size(); }

    // Whether something sent to `host` arrived within `timeout`; takes it in.
    bool arrived(const std::string& host, Kind kind, std::chrono::milliseconds timeout) {
        const int fd = sockets_.at({host, kind});
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(timeout.count())) != 1)
            return false;
        if (kind == Kind::tcp) {
            const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0)
                ::close(connection);
        } else {
            char buffer[512];
            while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
            }
        }
        return true;
    }

private:
    std::vector<std::string> hosts_;
    std::map<std::pair<std::string, Kind>, int> sockets_;
};

// A normal user's process sends one TCP connection or datagram to `host`; it gives a
// connection 3 s to be made.
inline void sendAsNormalUser(const std::string& host, Kind kind) {
    const Address address = addressOf(host, portOf(kind));
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(normalUser, normalUser, normalUser) != 0 ||
            ::setresuid(normalUser, normalUser, normalUser) != 0)
            ::_exit(2);
        if (kind == Kind::tcp) {
            const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, address.get(), address.size);
            pollfd entry{fd, POLLOUT, 0};
            ::poll(&entry, 1, 3000);
        } else {
            // A DNS query for "a." (type A), or a plain datagram.
            static const char query[] = "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"
                                        "\x01"
                                        "a\x00\x00\x01\x00\x01";
            const int fd = ::socket(address.family, SOCK_DGRAM, 0);
            ::sendto(fd, query, sizeof query - 1, 0, address.get(), address.size);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

inline bool tableExists() {
    return runCommand({"nft", "list", "table", "inet", guardTable}) == 0;
}

// Sends every kind of traffic outside the tunnel and through it; true if everything
// through the tunnel arrived and nothing outside did.
inline ::testing::AssertionResult onlyTheTunnelCarries(FarSide& far) {
    for (Kind kind : {Kind::tcp, Kind::udp, Kind::dns}) {
        sendAsNormalUser(OpenVPNServer::linkAddress, kind);
        sendAsNormalUser(OpenVPNServer::tunnelAddress, kind);
        if (!far.arrived(OpenVPNServer::tunnelAddress, kind, 5s))
            return ::testing::AssertionFailure() << nameOf(kind) << " through the tunnel is lost";
        if (far.arrived(OpenVPNServer::linkAddress, kind, 300ms))
            return ::testing::AssertionFailure() << nameOf(kind) << " outside the tunnel arrived";
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult
outsideArrives(FarSide& far, const std::string& outside = OpenVPNServer::linkAddress) {
    for (Kind kind : {Kind::tcp, Kind::udp, Kind::dns}) {
        sendAsNormalUser(outside, kind);
        if (!far.arrived(outside, kind, 5s))
            return ::testing::AssertionFailure()
                   << nameOf(kind) << " to " << outside << " is still blocked";
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult blocked(FarSide& far,
                                          const std::string& outside = OpenVPNServer::linkAddress) {
    for (Kind kind : {Kind::tcp, Kind::udp, Kind::dns}) {
        sendAsNormalUser(outside, kind);
        if (far.arrived(outside, kind, 1s))
            return ::testing::AssertionFailure() << nameOf(kind) << " to " << outside << " arrived";
    }
    return ::testing::AssertionSuccess();
}

} // namespace TrafficProbe

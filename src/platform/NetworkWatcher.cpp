#include "platform/NetworkWatcher.h"

#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr unsigned lowerUp = 1u << 16; // IFF_LOWER_UP, which <net/if.h> lacks
constexpr unsigned watchedFlags = IFF_UP | IFF_RUNNING | lowerUp;
constexpr size_t bufferSize = 32 * 1024;

bool isTunnel(const std::string& name) {
    return name.starts_with("tun");
}

// The attributes of a message whose fixed header is `headerSize` bytes.
template <typename Visit>
void forEachAttribute(const nlmsghdr& message, size_t headerSize, Visit visit) {
    const size_t offset = NLMSG_ALIGN(headerSize);
    if (message.nlmsg_len < NLMSG_LENGTH(offset))
        return;
    auto* attribute = reinterpret_cast<const rtattr*>(
        reinterpret_cast<const char*>(NLMSG_DATA(&message)) + offset);
    int left = static_cast<int>(message.nlmsg_len - NLMSG_LENGTH(offset));
    for (; RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left))
        visit(*attribute);
}

std::string stringAttribute(const rtattr& attribute) {
    const auto* data = static_cast<const char*>(RTA_DATA(&attribute));
    return std::string(data, strnlen(data, RTA_PAYLOAD(&attribute)));
}

// An attribute's payload as hexadecimal text, for telling one address or route from another.
std::string bytesOf(const rtattr& attribute) {
    static constexpr char digits[] = "0123456789abcdef";
    const auto* data = static_cast<const unsigned char*>(RTA_DATA(&attribute));
    std::string text;
    for (size_t i = 0; i < RTA_PAYLOAD(&attribute); ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0xf];
    }
    return text;
}

} // namespace

NetworkWatcher::NetworkWatcher(std::function<void(const Change& change)> changed)
    : changed_(std::move(changed)) {
    socketFd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                        RTMGRP_IPV6_ROUTE;
    if (socketFd_ >= 0 &&
        ::bind(socketFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(socketFd_);
        socketFd_ = -1;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (socketFd_ < 0 || wakeFd_ < 0) {
        Log::line(std::string("not watching network changes: ") + std::strerror(errno));
        if (socketFd_ >= 0)
            ::close(socketFd_);
        socketFd_ = -1;
        return;
    }
    // Knowing every link's flags, address and default route first, a later message that
    // leaves them as they were (statistics, a lease or router advertisement renewing a
    // lifetime) is not taken for a change.
    if (!requestDump(RTM_GETLINK, sizeof(ifinfomsg)) ||
        !requestDump(RTM_GETADDR, sizeof(ifaddrmsg)) || !requestDump(RTM_GETROUTE, sizeof(rtmsg)))
        Log::line("cannot list the network's links, addresses and routes; the first change of "
                  "each counts");
    thread_ = std::thread([this] { run(); });
}

NetworkWatcher::~NetworkWatcher() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (socketFd_ >= 0)
        ::close(socketFd_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool NetworkWatcher::requestDump(uint16_t type, size_t headerSize) {
    struct {
        nlmsghdr header;
        char body[sizeof(ifinfomsg)]; // the largest of the three headers; family AF_UNSPEC
    } request{};
    request.header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(headerSize));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = type;
    if (::send(socketFd_, &request, request.header.nlmsg_len, 0) < 0)
        return false;
    // The dump ends with NLMSG_DONE; bounded, since the kernel answers at once.
    for (int reads = 0; reads < 1000; ++reads) {
        pollfd fd{socketFd_, POLLIN, 0};
        if (::poll(&fd, 1, 1000) <= 0)
            return false;
        alignas(nlmsghdr) char buffer[bufferSize];
        const ssize_t n = ::recv(socketFd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        auto left = static_cast<unsigned int>(n);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
             message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR)
                return message->nlmsg_type == NLMSG_DONE;
            classify(*message);
        }
    }
    return false;
}

void NetworkWatcher::run() {
    using Clock = std::chrono::steady_clock;
    std::optional<Change> pending;
    Clock::time_point first, last;
    for (;;) {
        int timeout = -1;
        if (pending) {
            const auto due = std::min(last + quietPeriod, first + maxDelay);
            timeout = static_cast<int>(std::max<int64_t>(
                0, std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count()));
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {socketFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (ready > 0 && fds[1].revents) {
            if (auto change = readEvents()) {
                last = Clock::now();
                if (!pending) {
                    pending = std::move(change);
                    first = last;
                } else {
                    pending->appeared = pending->appeared || change->appeared;
                }
            }
            continue;
        }
        if (pending && Clock::now() >= std::min(last + quietPeriod, first + maxDelay)) {
            changed_(*pending);
            pending.reset();
        }
    }
}

std::optional<NetworkWatcher::Change> NetworkWatcher::readEvents() {
    alignas(nlmsghdr) char buffer[bufferSize];
    const ssize_t n = ::recv(socketFd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) {
        // The kernel dropped events it could not queue: something changed.
        if (errno == ENOBUFS)
            return Change{"events were lost", true};
        return std::nullopt;
    }
    std::optional<Change> all;
    auto left = static_cast<unsigned int>(n);
    for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
         message = NLMSG_NEXT(message, left)) {
        auto change = classify(*message);
        if (change && !all)
            all = std::move(change);
        else if (change)
            all->appeared = all->appeared || change->appeared;
    }
    return all;
}

bool NetworkWatcher::noteChange(int index, std::string key, bool added) {
    if (added)
        return known_.emplace(std::move(key), index).second;
    known_.erase(key);
    return true;
}

bool NetworkWatcher::carriesTraffic(int index) const {
    return std::any_of(known_.begin(), known_.end(),
                       [index](const auto& entry) { return entry.second == index; });
}

void NetworkWatcher::forget(int index, bool routesOnly) {
    std::erase_if(known_, [&](const auto& entry) {
        return entry.second == index && (!routesOnly || entry.first.starts_with("route "));
    });
}

std::string NetworkWatcher::nameOf(int index) const {
    if (const auto known = links_.find(index); known != links_.end())
        return known->second.name;
    char name[IF_NAMESIZE] = {};
    return if_indextoname(static_cast<unsigned>(index), name) ? name : "";
}

std::optional<NetworkWatcher::Change> NetworkWatcher::classify(const nlmsghdr& message) {
    switch (message.nlmsg_type) {
    case RTM_NEWLINK:
    case RTM_DELLINK: {
        if (message.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            return std::nullopt;
        const auto& info = *static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
        std::string name;
        forEachAttribute(message, sizeof info, [&](const rtattr& attribute) {
            if (attribute.rta_type == IFLA_IFNAME)
                name = stringAttribute(attribute);
        });
        if (name.empty())
            name = nameOf(info.ifi_index);
        const unsigned flags = info.ifi_flags & watchedFlags;
        // Only a link with an address or a default route can carry the tunnel's packets;
        // others (a container's or a virtual machine's) come and go without a word here.
        const bool carries = carriesTraffic(info.ifi_index);
        if (message.nlmsg_type == RTM_DELLINK) {
            links_.erase(info.ifi_index);
            forget(info.ifi_index, false);
            if (!carries || isTunnel(name) || (info.ifi_flags & IFF_LOOPBACK))
                return std::nullopt;
            return Change{"link " + name + " removed", false};
        }
        const auto known = links_.find(info.ifi_index);
        const bool same = known != links_.end() && known->second.flags == flags;
        links_[info.ifi_index] = {name, flags};
        const bool up = flags & IFF_RUNNING;
        // The kernel drops an IPv4 link's routes as it goes down without saying so.
        if (!same && !up)
            forget(info.ifi_index, true);
        if (same || !carries || isTunnel(name) || (info.ifi_flags & IFF_LOOPBACK))
            return std::nullopt;
        return Change{"link " + name + (up ? " up" : " down"), up};
    }
    case RTM_NEWADDR:
    case RTM_DELADDR: {
        if (message.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
            return std::nullopt;
        const auto& info = *static_cast<const ifaddrmsg*>(NLMSG_DATA(&message));
        // Link-local and host addresses carry no traffic to a VPN server; IPv6's
        // come and change state on their own whenever a link comes up.
        if (info.ifa_scope != RT_SCOPE_UNIVERSE)
            return std::nullopt;
        const std::string name = nameOf(static_cast<int>(info.ifa_index));
        if (isTunnel(name) || name == "lo")
            return std::nullopt;
        std::string key = "address " + std::to_string(info.ifa_index) + " " +
                          std::to_string(info.ifa_family) + "/" +
                          std::to_string(info.ifa_prefixlen);
        forEachAttribute(message, sizeof info, [&](const rtattr& attribute) {
            if (attribute.rta_type == IFA_ADDRESS || attribute.rta_type == IFA_LOCAL)
                key += " " + std::to_string(attribute.rta_type) + ":" + bytesOf(attribute);
        });
        if (!noteChange(static_cast<int>(info.ifa_index), std::move(key),
                        message.nlmsg_type == RTM_NEWADDR))
            return std::nullopt;
        const bool added = message.nlmsg_type == RTM_NEWADDR;
        return Change{(added ? "address added on " : "address removed from ") + name, added};
    }
    case RTM_NEWROUTE:
    case RTM_DELROUTE: {
        if (message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
            return std::nullopt;
        const auto& info = *static_cast<const rtmsg*>(NLMSG_DATA(&message));
        unsigned table = info.rtm_table;
        int outputIndex = 0;
        std::string key = "route " + std::to_string(info.rtm_family);
        forEachAttribute(message, sizeof info, [&](const rtattr& attribute) {
            if (attribute.rta_type == RTA_TABLE && RTA_PAYLOAD(&attribute) >= sizeof(uint32_t))
                std::memcpy(&table, RTA_DATA(&attribute), sizeof(uint32_t));
            else if (attribute.rta_type == RTA_OIF && RTA_PAYLOAD(&attribute) >= sizeof(int))
                std::memcpy(&outputIndex, RTA_DATA(&attribute), sizeof(int));
            if (attribute.rta_type == RTA_OIF || attribute.rta_type == RTA_GATEWAY ||
                attribute.rta_type == RTA_PRIORITY)
                key += " " + std::to_string(attribute.rta_type) + ":" + bytesOf(attribute);
        });
        // Only the default route decides where the tunnel's packets go; the routes the
        // tunnel itself adds are narrower or lead into it.
        if (table != RT_TABLE_MAIN || info.rtm_dst_len != 0 || info.rtm_type != RTN_UNICAST)
            return std::nullopt;
        const std::string name = outputIndex ? nameOf(outputIndex) : std::string();
        if (isTunnel(name) ||
            !noteChange(outputIndex, std::move(key), message.nlmsg_type == RTM_NEWROUTE))
            return std::nullopt;
        const bool added = message.nlmsg_type == RTM_NEWROUTE;
        return Change{std::string(added ? "default route added" : "default route removed") +
                          (name.empty() ? "" : " on " + name),
                      added};
    }
    default:
        return std::nullopt;
    }
}

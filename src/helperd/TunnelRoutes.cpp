#include "helperd/TunnelRoutes.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace {

using Prefix = FullTunnel::Prefix;

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Empty: asked.
std::string requestDump(int fd, int family) {
    struct {
        nlmsghdr header;
        rtmsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.rtm_family = static_cast<unsigned char>(family);
    if (::send(fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
        return failed("cannot ask for the routes");
    return {};
}

// One route message: kept when it is a unicast route of the main table through `index`.
void take(const nlmsghdr* message, unsigned index, std::vector<Prefix>& routes) {
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
    if (route->rtm_type != RTN_UNICAST ||
        (route->rtm_family != AF_INET && route->rtm_family != AF_INET6))
        return;
    Prefix prefix;
    prefix.family = route->rtm_family;
    prefix.length = route->rtm_dst_len;
    unsigned table = route->rtm_table;
    unsigned device = 0;
    int left = static_cast<int>(RTM_PAYLOAD(message));
    const size_t size = route->rtm_family == AF_INET ? 4 : 16;
    for (const rtattr* a = RTM_RTA(route); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) == sizeof(uint32_t))
            std::memcpy(&table, RTA_DATA(a), sizeof(uint32_t));
        else if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) == sizeof(uint32_t))
            std::memcpy(&device, RTA_DATA(a), sizeof(uint32_t));
        else if (a->rta_type == RTA_DST && RTA_PAYLOAD(a) == size)
            std::memcpy(prefix.address.data(), RTA_DATA(a), size);
    }
    if (table == RT_TABLE_MAIN && device == index && routes.size() < TunnelRoutes::maxRoutes)
        routes.push_back(prefix);
}

// Reads one dump's answer to its end; empty: read.
std::string readDump(int fd, unsigned index, std::vector<Prefix>& routes) {
    alignas(nlmsghdr) char buffer[32768];
    for (size_t read = 0; read <= TunnelRoutes::maxRoutes;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failed("cannot read the routes");
        auto left = static_cast<unsigned>(n);
        for (auto* m = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(m, left);
             m = NLMSG_NEXT(m, left), ++read) {
            if (m->nlmsg_type == NLMSG_DONE)
                return {};
            if (m->nlmsg_type == NLMSG_ERROR) {
                errno = -static_cast<const nlmsgerr*>(NLMSG_DATA(m))->error;
                return failed("the kernel refused to list the routes");
            }
            if (m->nlmsg_type == RTM_NEWROUTE && m->nlmsg_len >= NLMSG_LENGTH(sizeof(rtmsg)))
                take(m, index, routes);
            // An unpadded last message would wrap the unsigned count past the buffer's end.
            if (NLMSG_ALIGN(m->nlmsg_len) > left)
                break;
        }
    }
    return "the routing table is larger than the helper reads";
}

} // namespace

Result<std::vector<Prefix>> TunnelRoutes::of(const std::string& device) {
    using Routes = Result<std::vector<Prefix>>;
    const unsigned index = ::if_nametoindex(device.c_str());
    if (index == 0)
        return Routes::failure("the tunnel " + device + " is not there");
    const UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd.valid())
        return Routes::failure(failed("cannot open rtnetlink"));
    // The kernel answers a dump at once; this only bounds a kernel that does not.
    const timeval bound{1, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    std::vector<Prefix> routes;
    for (int family : {AF_INET, AF_INET6}) {
        std::string error = requestDump(fd.get(), family);
        if (error.empty())
            error = readDump(fd.get(), index, routes);
        if (!error.empty())
            return Routes::failure(error);
    }
    return Routes::success(std::move(routes));
}

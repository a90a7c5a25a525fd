#include "helperd/FullTunnel.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <string>
#include <sys/socket.h>

std::optional<FullTunnel::Prefix> FullTunnel::parse(std::string_view text) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    Prefix p;
    const std::string address(text.substr(0, slash));
    if (::inet_pton(AF_INET, address.c_str(), p.address.data()) == 1)
        p.family = AF_INET;
    else if (::inet_pton(AF_INET6, address.c_str(), p.address.data()) == 1)
        p.family = AF_INET6;
    else
        return std::nullopt;
    const std::string_view length = text.substr(slash + 1);
    const auto [end, error] =
        std::from_chars(length.data(), length.data() + length.size(), p.length);
    const int bits = p.family == AF_INET ? 32 : 128;
    if (error != std::errc() || end != length.data() + length.size() || p.length < 0 ||
        p.length > bits)
        return std::nullopt;
    for (int bit = p.length; bit < bits; ++bit)
        if (p.address[static_cast<size_t>(bit / 8)] & (0x80 >> (bit % 8)))
            return std::nullopt;
    return p;
}

const std::vector<std::vector<FullTunnel::Prefix>>& FullTunnel::shapes() {
    static const std::vector<std::vector<Prefix>> table = [] {
        const std::vector<std::vector<const char*>> rows = {
            // `redirect-gateway` without def1 (it replaces the default route), or a pushed
            // `route 0.0.0.0 0.0.0.0`.
            {"0.0.0.0/0"},
            // `redirect-gateway def1`, or the two halves pushed as routes.
            {"0.0.0.0/1", "128.0.0.0/1"},
            // `route-ipv6 ::/0`.
            {"::/0"},
            // The two halves of IPv6 pushed as routes.
            {"::/1", "8000::/1"},
            // `redirect-gateway ipv6`: openvpn 2.6 routes these four, all of IPv6 that is
            // allocated but link-local and multicast.
            {"::/3", "2000::/4", "3000::/4", "fc00::/7"},
            // `route-ipv6 2000::/3`, as providers push it: every global unicast address.
            {"2000::/3"},
        };
        std::vector<std::vector<Prefix>> out;
        for (const auto& row : rows) {
            std::vector<Prefix> shape;
            for (const char* text : row)
                shape.push_back(*parse(text));
            out.push_back(std::move(shape));
        }
        return out;
    }();
    return table;
}

bool FullTunnel::takesDefaultRoute(const std::vector<Prefix>& routes) {
    return std::any_of(shapes().begin(), shapes().end(), [&](const std::vector<Prefix>& shape) {
        return std::all_of(shape.begin(), shape.end(), [&](const Prefix& p) {
            return std::find(routes.begin(), routes.end(), p) != routes.end();
        });
    });
}

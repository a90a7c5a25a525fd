#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Whether a tunnel takes the machine's default route, from the routes the kernel holds
// through it once openvpn has set them up. That is the only place this is known for sure:
// openvpn's scripts see `redirect_gateway=1` also for `redirect-private`, which routes
// nothing, and see none of the routes `redirect-gateway` adds. A tunnel that carries
// every address of either family (as `redirect-gateway ipv6 !ipv4` does for IPv6, or every
// global unicast IPv6 address) counts: names then go to the VPN's servers, never to the
// local network's.
class FullTunnel {
public:
    struct Prefix {
        int family = 0; // AF_INET or AF_INET6
        std::array<uint8_t, 16> address{};
        int length = 0;
        bool operator==(const Prefix&) const = default;
    };

    // "0.0.0.0/1", "fc00::/7"; empty when the text is no prefix or has host bits set.
    static std::optional<Prefix> parse(std::string_view text);

    // The one table: the tunnel takes the default route when the routes through it
    // together carry every address of one of these, however they are cut (0/1 + 128/1, the
    // four /2 quarters, ::/1 + 8000::/1, overlapping or not).
    static const std::vector<Prefix>& spans();
    static bool takesDefaultRoute(const std::vector<Prefix>& routes);
};

#include "helperd/FullTunnel.h"

#include <gtest/gtest.h>

namespace {

std::vector<FullTunnel::Prefix> prefixes(const std::vector<const char*>& texts) {
    std::vector<FullTunnel::Prefix> out;
    for (const char* t : texts) {
        const auto p = FullTunnel::parse(t);
        EXPECT_TRUE(p) << t;
        if (p)
            out.push_back(*p);
    }
    return out;
}

// The routes through the tunnel as the kernel held them once openvpn 2.6 had set up each
// push (the tunnel's own subnets always among them), and whether that is a full tunnel.
TEST(FullTunnel, TheRoutesThroughTheTunnelSayWhetherItTakesTheDefaultRoute) {
    struct Case {
        const char* push;
        std::vector<const char*> routes;
        bool full;
    } const cases[] = {
        {"redirect-gateway def1 (pushed or the profile's own, with bypass-dhcp alike)",
         {"0.0.0.0/1", "128.0.0.0/1", "10.8.0.0/24", "fd98::/64"},
         true},
        {"redirect-gateway def1 block-local: the LAN's subnet too",
         {"0.0.0.0/1", "128.0.0.0/1", "192.168.1.0/24", "10.8.0.0/24"},
         true},
        {"redirect-gateway def1 ipv6",
         {"0.0.0.0/1", "128.0.0.0/1", "::/3", "2000::/4", "3000::/4", "fc00::/7", "fd98::/64"},
         true},
        {"redirect-gateway ipv6 !ipv4", {"::/3", "2000::/4", "3000::/4", "fc00::/7"}, true},
        {"redirect-gateway (it replaces the default route)", {"0.0.0.0/0", "10.8.0.0/24"}, true},
        {"route 0.0.0.0 0.0.0.0", {"0.0.0.0/0"}, true},
        {"route 0.0.0.0 128.0.0.0 + route 128.0.0.0 128.0.0.0", {"128.0.0.0/1", "0.0.0.0/1"}, true},
        {"route-ipv6 ::/0", {"::/0"}, true},
        {"route-ipv6 ::/1 + 8000::/1", {"::/1", "8000::/1"}, true},
        {"route-ipv6 2000::/3, all global unicast", {"2000::/3", "fd98::/64"}, true},
        {"route-ipv6 2000::/4 alone", {"2000::/4"}, false},
        {"redirect-private def1: routes nothing of its own", {"10.8.0.0/24", "fd98::/64"}, false},
        {"a split tunnel", {"10.50.0.0/16", "192.168.77.0/24", "fd50::/64", "10.8.0.0/24"}, false},
        {"only half of IPv4", {"0.0.0.0/1", "10.8.0.0/24"}, false},
        {"three of redirect-gateway ipv6's four", {"::/3", "2000::/4", "3000::/4"}, false},
        {"no route at all (route-nopull)", {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FullTunnel::takesDefaultRoute(prefixes(c.routes)), c.full) << c.push;
}

TEST(FullTunnel, EveryShapeIsNeededWholeAndReadsAsItsText) {
    // Each row of the table on its own is full; without any one of its prefixes it is not.
    for (const auto& shape : FullTunnel::shapes()) {
        EXPECT_TRUE(FullTunnel::takesDefaultRoute(shape));
        for (size_t left = 0; left < shape.size() && shape.size() > 1; ++left) {
            auto partial = shape;
            partial.erase(partial.begin() + static_cast<long>(left));
            EXPECT_FALSE(FullTunnel::takesDefaultRoute(partial));
        }
    }
    for (const char* bad : {"0.0.0.0", "10.0.0.1/8", "0.0.0.0/33", "::/129", "::1/-1", "x/1",
                            "0.0.0.0/1a", "8000::/0"})
        EXPECT_FALSE(FullTunnel::parse(bad)) << bad;
}

} // namespace

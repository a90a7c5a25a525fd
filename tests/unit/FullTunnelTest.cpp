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
        {"three of redirect-gateway ipv6's four: still all global unicast",
         {"::/3", "2000::/4", "3000::/4"},
         true},
        {"redirect-gateway ipv6 without 2000::/4", {"::/3", "3000::/4", "fc00::/7"}, false},
        {"no route at all (route-nopull)", {}, false},
        {"the four /2 quarters pushed as routes",
         {"0.0.0.0/2", "64.0.0.0/2", "128.0.0.0/2", "192.0.0.0/2", "10.8.0.0/24"},
         true},
        {"three quarters", {"0.0.0.0/2", "64.0.0.0/2", "192.0.0.0/2"}, false},
        {"the eight /3 eighths",
         {"0.0.0.0/3", "32.0.0.0/3", "64.0.0.0/3", "96.0.0.0/3", "128.0.0.0/3", "160.0.0.0/3",
          "192.0.0.0/3", "224.0.0.0/3"},
         true},
        {"eighths with the last one missing",
         {"0.0.0.0/3", "32.0.0.0/3", "64.0.0.0/3", "96.0.0.0/3", "128.0.0.0/3", "160.0.0.0/3",
          "192.0.0.0/3"},
         false},
        {"eighths with the first one missing",
         {"32.0.0.0/3", "64.0.0.0/3", "96.0.0.0/3", "128.0.0.0/3", "160.0.0.0/3", "192.0.0.0/3",
          "224.0.0.0/3"},
         false},
        {"overlapping halves and quarters",
         {"0.0.0.0/1", "64.0.0.0/2", "0.0.0.0/2", "128.0.0.0/2", "128.0.0.0/1", "10.0.0.0/8"},
         true},
        {"a gap of one address: 255.255.255.255 not routed",
         {"0.0.0.0/1",          "128.0.0.0/2",        "192.0.0.0/3",        "224.0.0.0/4",
          "240.0.0.0/5",        "248.0.0.0/6",        "252.0.0.0/7",        "254.0.0.0/8",
          "255.0.0.0/9",        "255.128.0.0/10",     "255.192.0.0/11",     "255.224.0.0/12",
          "255.240.0.0/13",     "255.248.0.0/14",     "255.252.0.0/15",     "255.254.0.0/16",
          "255.255.0.0/17",     "255.255.128.0/18",   "255.255.192.0/19",   "255.255.224.0/20",
          "255.255.240.0/21",   "255.255.248.0/22",   "255.255.252.0/23",   "255.255.254.0/24",
          "255.255.255.0/25",   "255.255.255.128/26", "255.255.255.192/27", "255.255.255.224/28",
          "255.255.255.240/29", "255.255.255.248/30", "255.255.255.252/31", "255.255.255.254/32"},
         false},
        {"and with it routed", {"0.0.0.0/1", "128.0.0.0/1", "255.255.255.255/32"}, true},
        {"halves of different families do not make a whole", {"0.0.0.0/1", "8000::/1"}, false},
        {"the IPv4 halves written as IPv6 are IPv6",
         {"::ffff:0.0.0.0/97", "::ffff:128.0.0.0/97"},
         false},
        {"route-ipv6 ::/1 alone holds all global unicast", {"::/1"}, true},
        {"2000::/3 cut into /5s",
         {"2000::/5", "2800::/5", "3000::/5", "3800::/5", "10.8.0.0/24"},
         true},
        {"2000::/3 but its last /5", {"2000::/5", "2800::/5", "3000::/5"}, false},
        {"the whole IPv6 space in four", {"::/2", "4000::/2", "8000::/2", "c000::/2"}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FullTunnel::takesDefaultRoute(prefixes(c.routes)), c.full) << c.push;
}

TEST(FullTunnel, EveryShapeIsNeededWholeAndReadsAsItsText) {
    // Each of these on its own is full; without any one of its prefixes it is not.
    const std::vector<std::vector<const char*>> shapes = {
        {"0.0.0.0/0"},
        {"0.0.0.0/1", "128.0.0.0/1"},
        {"0.0.0.0/2", "64.0.0.0/2", "128.0.0.0/2", "192.0.0.0/2"},
        {"0.0.0.0/3", "32.0.0.0/3", "64.0.0.0/3", "96.0.0.0/3", "128.0.0.0/3", "160.0.0.0/3",
         "192.0.0.0/3", "224.0.0.0/3"},
        {"::/0"},
        {"::/1"},
        {"2000::/4", "3000::/4"},
        {"2000::/3"},
    };
    for (const auto& texts : shapes) {
        const auto shape = prefixes(texts);
        EXPECT_TRUE(FullTunnel::takesDefaultRoute(shape)) << texts.front();
        for (size_t left = 0; left < shape.size() && shape.size() > 1; ++left) {
            auto partial = shape;
            partial.erase(partial.begin() + static_cast<long>(left));
            EXPECT_FALSE(FullTunnel::takesDefaultRoute(partial)) << texts[left];
        }
    }
    for (const auto& span : FullTunnel::spans())
        EXPECT_TRUE(FullTunnel::takesDefaultRoute({span}));
    for (const char* bad : {"0.0.0.0", "10.0.0.1/8", "0.0.0.0/33", "::/129", "::1/-1", "x/1",
                            "0.0.0.0/1a", "8000::/0"})
        EXPECT_FALSE(FullTunnel::parse(bad)) << bad;
}

} // namespace

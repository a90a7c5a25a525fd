#include "helperd/DnsPlan.h"

#include <gtest/gtest.h>

namespace {

using Way = DnsPlan::Setup;

// A plan in one line: resolved as "domains | default-route | tls | servers", the others
// as their resolv.conf text (with "exclusive" in front where resolvconf is told so).
std::string render(const std::optional<DnsPlan>& plan) {
    if (!plan)
        return "nothing";
    std::string out;
    if (plan->setup != Way::resolved)
        return (plan->exclusive ? "exclusive " : "") + plan->resolvConf;
    for (const auto& d : plan->domains)
        out += (d.routingOnly ? "~" : "") + d.name + " ";
    out += plan->defaultRoute ? "| default " : "| - ";
    out += plan->dnsOverTls ? "| tls |" : "| - |";
    for (const auto& s : plan->servers)
        out += " " + s.text + (s.port ? ":" + std::to_string(s.port) : "");
    return out;
}

const PushedDns::Environment full = {{"redirect_gateway", "2"}};
const PushedDns::Environment split = {{"route_network_1", "10.8.0.0"},
                                      {"route_netmask_1", "255.255.0.0"}};

PushedDns::Environment with(PushedDns::Environment base, const PushedDns::Environment& more) {
    base.insert(more.begin(), more.end());
    return base;
}

TEST(DnsPlan, PushedOptionsBecomeWhatEachResolverIsGiven) {
    const PushedDns::Environment dhcp = {{"foreign_option_1", "dhcp-option DNS 10.8.0.1"},
                                         {"foreign_option_2", "dhcp-option DOMAIN Corp.Example"},
                                         {"foreign_option_3", "dhcp-option DNS6 fd00::0:1"}};
    const PushedDns::Environment dns = {{"dns_server_0_address_1", "10.9.0.1"},
                                        {"dns_server_0_port_1", "5353"},
                                        {"dns_server_0_address_2", "fd00::53"},
                                        {"dns_server_0_resolve_domain_1", "lab.example"},
                                        {"dns_search_domain_1", "corp.example"},
                                        // dhcp-option is overridden by the dns option
                                        {"foreign_option_1", "dhcp-option DNS 10.8.0.1"},
                                        {"foreign_option_2", "dhcp-option DOMAIN old.example"}};
    struct Case {
        const char* what;
        PushedDns::Environment environment;
        Way setup;
        std::string plan;
    } const cases[] = {
        {"full tunnel: everything to the tunnel", with(full, dhcp), Way::resolved,
         "~. ~corp.example | default | - | 10.8.0.1 fd00::1"},
        {"split tunnel: only its domains", with(split, dhcp), Way::resolved,
         "~corp.example | - | - | 10.8.0.1 fd00::1"},
        {"def1 routes are a full tunnel",
         with(dhcp, {{"route_network_1", "0.0.0.0"},
                     {"route_netmask_1", "128.0.0.0"},
                     {"route_network_2", "128.0.0.0"},
                     {"route_netmask_2", "128.0.0.0"}}),
         Way::resolved, "~. ~corp.example | default | - | 10.8.0.1 fd00::1"},
        {"half of IPv4 is not",
         with(dhcp, {{"route_network_1", "0.0.0.0"}, {"route_netmask_1", "128.0.0.0"}}),
         Way::resolved, "~corp.example | - | - | 10.8.0.1 fd00::1"},
        {"IPv6 default route", with(dhcp, {{"route_ipv6_network_1", "::/0"}}), Way::resolved,
         "~. ~corp.example | default | - | 10.8.0.1 fd00::1"},
        {"the dns option with ports and resolve-domains", with(split, dns), Way::resolved,
         "~lab.example ~corp.example | - | - | 10.9.0.1:5353 fd00::53"},
        {"DoT on every server",
         with(full, {{"dns_server_1_address_1", "10.9.0.1"}, {"dns_server_1_transport", "DoT"}}),
         Way::resolved, "~. | default | tls | 10.9.0.1"},
        {"DoH servers are left out",
         with(full, {{"dns_server_1_address_1", "10.9.0.1"},
                     {"dns_server_1_transport", "DoH"},
                     {"dns_server_2_address_1", "10.9.0.2"}}),
         Way::resolved, "~. | default | - | 10.9.0.2"},
        {"resolvconf, full tunnel", with(full, dhcp), Way::resolvconf,
         "exclusive nameserver 10.8.0.1\nnameserver fd00::1\nsearch corp.example\n"},
        {"resolvconf, split tunnel", with(split, dhcp), Way::resolvconf,
         "nameserver 10.8.0.1\nnameserver fd00::1\nsearch corp.example\n"},
        {"the file cannot name a port", with(full, dns), Way::file,
         "nameserver fd00::53\nsearch corp.example\n"},
        {"hostile values are dropped",
         with(full, {{"foreign_option_1", "dhcp-option DNS 10.8.0.1;reboot"},
                     {"foreign_option_2", "dhcp-option DNS 10.8.0.2"},
                     {"foreign_option_3", "dhcp-option DOMAIN -x.example"},
                     {"foreign_option_4", "dhcp-option DOMAIN a\nnameserver 6.6.6.6"},
                     {"foreign_option_5", "dhcp-option DOMAIN ."},
                     {"foreign_option_6", "dhcp-option DOMAIN a..b"},
                     {"foreign_option_7", "dhcp-option DOMAIN " + std::string(64, 'a') + ".b"},
                     {"foreign_option_8", "dhcp-option DOMAIN ok-1.example."}}),
         Way::file, "nameserver 10.8.0.2\nsearch ok-1.example\n"},
        {"no server: nothing to do", with(full, {{"foreign_option_1", "dhcp-option DOMAIN a.b"}}),
         Way::resolved, "nothing"},
        {"no way to apply: nothing", with(full, dhcp), Way::none, "nothing"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(render(DnsPlan::forPush(PushedDns::fromEnvironment(c.environment), c.setup)),
                  c.plan)
            << c.what;
}

TEST(DnsPlan, ResolvedOnlyWhereResolvConfLeadsToIt) {
    struct Case {
        std::string target;
        bool resolved, resolvconf;
        Way setup;
    } const cases[] = {
        {"/run/systemd/resolve/stub-resolv.conf", true, true, Way::resolved},
        {"/run/systemd/resolve/resolv.conf", true, false, Way::resolved},
        {"/run/systemd/resolve/stub-resolv.conf", false, true, Way::none},
        {"", true, true, Way::resolvconf},
        {"/run/resolvconf/resolv.conf", true, true, Way::resolvconf},
        {"", true, false, Way::file},
        {"/etc/resolv.conf.static", false, false, Way::file},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DnsPlan::setupFor({c.target, c.resolved, c.resolvconf}), c.setup) << c.target;
}

TEST(DnsPlan, BoundsWhatTheServerMayPush) {
    PushedDns::Environment many;
    for (int i = 1; i <= 200; ++i) {
        many["foreign_option_" + std::to_string(2 * i - 1)] =
            "dhcp-option DNS 10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        many["foreign_option_" + std::to_string(2 * i)] =
            "dhcp-option DOMAIN d" + std::to_string(i) + ".example";
    }
    const auto pushed = PushedDns::fromEnvironment(many);
    EXPECT_EQ(pushed.servers.size(), PushedDns::maxServers);
    EXPECT_EQ(pushed.searchDomains.size(), PushedDns::maxDomains);
    EXPECT_EQ(pushed.ignored.size(), 2u);
}

} // namespace

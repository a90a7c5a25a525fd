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

// Whether the tunnel takes the default route (FullTunnel reads that from the routes).
constexpr bool full = true, split = false;

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
        bool defaultRoute;
        PushedDns::Environment environment;
        Way setup;
        std::string plan;
    } const cases[] = {
        {"full tunnel: everything to the tunnel", full, dhcp, Way::resolved,
         "~. ~corp.example | default | - | 10.8.0.1 fd00::1"},
        {"split tunnel: only its domains", split, dhcp, Way::resolved,
         "~corp.example | - | - | 10.8.0.1 fd00::1"},
        {"the dns option with ports and resolve-domains", split, dns, Way::resolved,
         "~lab.example ~corp.example | - | - | 10.9.0.1:5353 fd00::53"},
        {"DoT on every server",
         full,
         {{"dns_server_1_address_1", "10.9.0.1"}, {"dns_server_1_transport", "DoT"}},
         Way::resolved,
         "~. | default | tls | 10.9.0.1"},
        {"DoH servers are left out",
         full,
         {{"dns_server_1_address_1", "10.9.0.1"},
          {"dns_server_1_transport", "DoH"},
          {"dns_server_2_address_1", "10.9.0.2"}},
         Way::resolved,
         "~. | default | - | 10.9.0.2"},
        {"resolvconf, full tunnel", full, dhcp, Way::resolvconf,
         "exclusive nameserver 10.8.0.1\nnameserver fd00::1\nsearch corp.example\n"},
        {"resolvconf, split tunnel", split, dhcp, Way::resolvconf,
         "nameserver 10.8.0.1\nnameserver fd00::1\nsearch corp.example\n"},
        {"the file cannot name a port", full, dns, Way::file,
         "nameserver fd00::53\nsearch corp.example\n"},
        {"resolvconf cannot name a port either", split, dns, Way::resolvconf,
         "nameserver fd00::53\nsearch corp.example\n"},
        {"port 53 named is resolv.conf's own",
         full,
         {{"dns_server_1_address_1", "10.9.0.1"}, {"dns_server_1_port_1", "53"}},
         Way::file,
         "nameserver 10.9.0.1\n"},
        {"only a server on another port: nothing resolv.conf can use",
         full,
         {{"dns_server_1_address_1", "10.213.0.1"}, {"dns_server_1_port_1", "5353"}},
         Way::resolvconf,
         "nothing"},
        {"resolv.conf cannot ask over TLS: such servers are left out",
         full,
         {{"dns_server_1_address_1", "10.9.0.1"},
          {"dns_server_1_transport", "DoT"},
          {"dns_server_2_address_1", "10.9.0.2"}},
         Way::resolvconf,
         "exclusive nameserver 10.9.0.2\n"},
        {"only servers over TLS: nothing the file can use",
         full,
         {{"dns_server_1_address_1", "10.9.0.1"}, {"dns_server_1_transport", "DoT"}},
         Way::file,
         "nothing"},
        {"hostile values are dropped",
         full,
         {{"foreign_option_1", "dhcp-option DNS 10.8.0.1;reboot"},
          {"foreign_option_2", "dhcp-option DNS 10.8.0.2"},
          {"foreign_option_3", "dhcp-option DOMAIN -x.example"},
          {"foreign_option_4", "dhcp-option DOMAIN a\nnameserver 6.6.6.6"},
          {"foreign_option_5", "dhcp-option DOMAIN ."},
          {"foreign_option_6", "dhcp-option DOMAIN a..b"},
          {"foreign_option_7", "dhcp-option DOMAIN " + std::string(64, 'a') + ".b"},
          {"foreign_option_8", "dhcp-option DOMAIN ok-1.example."}},
         Way::file,
         "nameserver 10.8.0.2\nsearch ok-1.example\n"},
        {"no server: nothing to do",
         full,
         {{"foreign_option_1", "dhcp-option DOMAIN a.b"}},
         Way::resolved,
         "nothing"},
        {"no way to apply: nothing", full, dhcp, Way::none, "nothing"},
        {"no server that can be the VPN's: nothing, as without one",
         full,
         {{"foreign_option_1", "dhcp-option DNS 127.0.0.1"},
          {"foreign_option_2", "dhcp-option DNS 0.0.0.0"},
          {"foreign_option_3", "dhcp-option DNS 224.0.0.251"},
          {"foreign_option_4", "dhcp-option DNS 255.255.255.255"},
          {"foreign_option_5", "dhcp-option DNS6 ::1"},
          {"foreign_option_6", "dhcp-option DNS6 ::"},
          {"foreign_option_7", "dhcp-option DNS6 ff02::fb"},
          {"foreign_option_8", "dhcp-option DNS6 ::ffff:127.0.0.53"},
          {"foreign_option_9", "dhcp-option DNS6 ::ffff:0.0.0.0"},
          {"foreign_option_10", "dhcp-option DNS6 ::ffff:239.1.1.1"},
          {"foreign_option_11", "dhcp-option DNS6 ::ffff:255.255.255.255"},
          {"foreign_option_12", "dhcp-option DOMAIN corp.example"},
          {"dns_server_1_address_1", "127.0.0.53"},
          {"dns_server_1_address_2", "ff05::1:3"}},
         Way::file,
         "nothing"},
        {"the usable ones stay, what is beside them too",
         split,
         {{"dns_server_1_address_1", "127.0.0.1"},
          {"dns_server_1_address_2", "10.0.0.1"},
          {"dns_server_2_address_1", "::ffff:10.0.0.2"},
          {"dns_server_2_address_2", "fd00::1"},
          {"dns_server_2_address_3", "239.255.255.255"}},
         Way::file,
         "nameserver 10.0.0.1\nnameserver ::ffff:10.0.0.2\nnameserver fd00::1\n"},
        {"junk in front does not push the VPN's server out of glibc's three",
         full,
         {{"foreign_option_1", "dhcp-option DNS6 ::127.0.0.1"},
          {"foreign_option_2", "dhcp-option DNS6 ::ffff:0:127.0.0.1"},
          {"foreign_option_3", "dhcp-option DNS 169.254.169.254"},
          {"foreign_option_4", "dhcp-option DNS6 fe80::1"},
          {"foreign_option_5", "dhcp-option DNS6 febf::1"},
          {"foreign_option_6", "dhcp-option DNS 0.1.2.3"},
          {"foreign_option_7", "dhcp-option DNS 240.0.0.1"},
          {"foreign_option_8", "dhcp-option DNS 254.255.255.255"},
          {"foreign_option_9", "dhcp-option DNS6 ::ffff:0:169.254.1.1"},
          {"foreign_option_10", "dhcp-option DNS6 ::0.0.0.2"},
          {"foreign_option_11", "dhcp-option DNS6 ::ffff:0:224.0.0.1"},
          {"foreign_option_12", "dhcp-option DNS 100.64.0.1"},
          {"foreign_option_13", "dhcp-option DNS 172.31.0.1"},
          {"foreign_option_14", "dhcp-option DNS 192.168.0.1"}},
         Way::resolvconf,
         "exclusive nameserver 100.64.0.1\nnameserver 172.31.0.1\nnameserver 192.168.0.1\n"},
        {"the private ranges and what carries them are the VPN's own",
         split,
         {{"foreign_option_1", "dhcp-option DNS 10.255.255.255"},
          {"foreign_option_2", "dhcp-option DNS6 fc00::53"},
          {"foreign_option_3", "dhcp-option DNS6 ::ffff:0:10.8.0.1"},
          {"foreign_option_4", "dhcp-option DNS6 ::10.8.0.2"},
          {"foreign_option_5", "dhcp-option DNS6 fec0::1"},
          {"foreign_option_6", "dhcp-option DNS 223.255.255.255"}},
         Way::file,
         "nameserver 10.255.255.255\nnameserver fc00::53\nnameserver ::ffff:0:a08:1\n"
         "nameserver ::10.8.0.2\nnameserver fec0::1\nnameserver 223.255.255.255\n"},
    };
    for (const Case& c : cases) {
        PushedDns pushed = PushedDns::fromEnvironment(c.environment);
        pushed.defaultRoute = c.defaultRoute;
        EXPECT_EQ(render(DnsPlan::forPush(pushed, c.setup)), c.plan) << c.what;
    }
}

TEST(DnsPlan, OnlyResolvConfCannotUseAPortOrTls) {
    PushedDns::Server plain, port53, port, tls;
    port53.port = 53;
    port.port = 5353;
    tls.overTls = true;
    struct Case {
        const PushedDns::Server& server;
        Way setup;
        bool usable;
    } const cases[] = {
        {plain, Way::file, true},    {port53, Way::resolvconf, true},
        {port, Way::file, false},    {port, Way::resolvconf, false},
        {tls, Way::file, false},     {tls, Way::resolvconf, false},
        {port, Way::resolved, true}, {tls, Way::resolved, true},
        {port, Way::none, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DnsPlan::unusable(c.server, c.setup) == nullptr, c.usable)
            << static_cast<int>(c.setup) << " " << c.server.port << " " << c.server.overTls;
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

TEST(DnsPlan, NamesWhatItDropsForTheLog) {
    const auto pushed =
        PushedDns::fromEnvironment({{"foreign_option_1", "dhcp-option DNS 127.0.0.1"},
                                    {"foreign_option_2", "dhcp-option DNS6 ::ffff:224.0.0.251"},
                                    {"foreign_option_3", "dhcp-option DNS 255.255.255.255"},
                                    {"foreign_option_4", "dhcp-option DNS6 ::"},
                                    {"foreign_option_5", "dhcp-option DNS6 ::127.0.0.2"},
                                    {"foreign_option_6", "dhcp-option DNS 169.254.0.1"},
                                    {"foreign_option_7", "dhcp-option DNS6 fe80::53"},
                                    {"foreign_option_8", "dhcp-option DNS 240.1.2.3"}});
    EXPECT_EQ(pushed.ignored, (std::vector<std::string>{
                                  "a DNS server that is a loopback address: 127.0.0.1",
                                  "a DNS server that is a multicast address: ::ffff:224.0.0.251",
                                  "a DNS server that is a broadcast address: 255.255.255.255",
                                  "a DNS server that is an unspecified address: ::",
                                  "a DNS server that is a loopback address: ::127.0.0.2",
                                  "a DNS server that is a link-local address: 169.254.0.1",
                                  "a DNS server that is a link-local address: fe80::53",
                                  "a DNS server that is a reserved address: 240.1.2.3"}));
}

} // namespace

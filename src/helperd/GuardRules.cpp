#include "helperd/GuardRules.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int maxOwnGroupRecords = 8;

std::string prefix() {
    return std::string("inet ") + GuardRules::table;
}

// An MLDv2 report of `records` solicited-node groups, each without sources, as the kernel
// sends when addresses are added (its retransmissions repeat the recent ones): a switch
// that snoops MLD then still delivers neighbour solicitations for the machine's addresses.
// A process that joins groups of its own can make the kernel report them; those reports do
// not leave, and of a solicited-node group it chooses 24 bits; at most 30 reports a minute
// leave. Reports of other groups (mDNS, LLMNR: services of the local network) stay in.
std::string ownGroupsReport(int records) {
    // After the ICMPv6 header and the record count (8 bytes), 20 bytes a record: its type,
    // then the aux data length and source count (0), then the group (ff02::1:ffXX:XXXX).
    std::string rule =
        "ip6 daddr ff02::16 icmpv6 type mld2-listener-report @th,48,16 " + std::to_string(records);
    for (int i = 0; i < records; ++i)
        rule +=
            " @th," + std::to_string((8 + 20 * i) * 8 + 8) + ",128 0xff0200000000000000000001ff";
    return rule + " limit rate 30/minute burst 30 packets accept";
}

} // namespace

bool GuardRules::plainInterfaceName(std::string_view name) {
    if (name.empty() || name.size() > maxInterfaceName || name == "." || name == "..")
        return false;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
        if (!plain)
            return false;
    }
    return true;
}

std::string GuardRules::create(uint32_t transportMark) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "0x%08x", transportMark);
    const std::string t = prefix();
    // The local network, when allowed, is reached for anything but DNS: a resolver on the
    // local network would see every name the machine looks up.
    std::string local;
    for (const char* chain : {"output", "forward"})
        local += "add rule " + t + " " + chain +
                 " meta l4proto { tcp, udp } th dport { 53, 853 } " + "ip daddr @local4 drop\n" +
                 "add rule " + t + " " + chain +
                 " meta l4proto { tcp, udp } th dport { 53, 853 } ip6 daddr @local6 drop\n" +
                 "add rule " + t + " " + chain + " ip daddr @local4 accept\n" + "add rule " + t +
                 " " + chain + " ip6 daddr @local6 accept\n";
    // What keeps the machine's own addresses, for the system's own traffic alone: an
    // unprivileged process cannot set a socket mark or send neighbour discovery, but it may
    // bind the DHCP client ports (where net.ipv4.ip_unprivileged_port_start was lowered)
    // and join any multicast group, so those exceptions name root's sockets or what the
    // kernel sends for its own addresses.
    //  - DHCPv4 to any address: a renewal is unicast to the server that leased the address,
    //    which a relay may put off the link.
    //  - DHCPv6 to the servers' multicast group or on the link.
    //  - MLD: only reports that name nothing but solicited-node groups (see ownGroupsReport).
    std::vector<std::string> output = {
        "oifname \"lo\" accept",
        "oifname @tunnels accept",
        std::string("meta mark ") + mark + " accept",
        "meta skuid 0 udp sport 68 udp dport 67 accept",
        "meta skuid 0 ip6 saddr fe80::/10 udp sport 546 udp dport 547 ip6 daddr "
        "{ ff02::1:2, fe80::/10 } accept",
        "icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert } "
        "ip6 hoplimit 255 accept",
    };
    for (int records = 1; records <= maxOwnGroupRecords; ++records)
        output.push_back(ownGroupsReport(records));
    std::string commands =
        "add table " + t + " { flags owner; }\n" + "add set " + t + " tunnels { type ifname; }\n" +
        "add chain " + t + " output { type filter hook output priority filter; policy drop; }\n" +
        "add chain " + t + " forward { type filter hook forward priority filter; policy drop; }\n";
    for (const std::string& rule : output)
        commands += "add rule " + t + " output " + rule + "\n";
    return commands + "add rule " + t + " forward oifname @tunnels accept\n" + "add rule " + t +
           " forward iifname @tunnels accept\n" + "add set " + t +
           " local4 { type ipv4_addr; flags interval; }\n" + "add set " + t +
           " local6 { type ipv6_addr; flags interval; }\n" + local;
}

std::string GuardRules::allowLocalNetwork(bool allowed) {
    const std::string t = prefix();
    std::string commands = "flush set " + t + " local4\n" + "flush set " + t + " local6\n";
    if (allowed)
        commands += "add element " + t +
                    " local4 { 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16 }\n" +
                    "add element " + t + " local6 { fc00::/7, fe80::/10 }\n";
    return commands;
}

std::optional<std::string> GuardRules::allowTunnel(std::string_view name) {
    if (!plainInterfaceName(name))
        return std::nullopt;
    return closeTunnels() + "add element " + prefix() + " tunnels { \"" + std::string(name) +
           "\" }\n";
}

std::string GuardRules::closeTunnels() {
    return "flush set " + prefix() + " tunnels\n";
}

std::string GuardRules::remove() {
    return "delete table " + prefix() + "\n";
}

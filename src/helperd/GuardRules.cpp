#include "helperd/GuardRules.h"

#include <cstdio>

namespace {

std::string prefix() {
    return std::string("inet ") + GuardRules::table;
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
    // Locally made packets: unprivileged processes cannot set a socket mark or send
    // neighbour discovery, nor (unless net.ipv4.ip_unprivileged_port_start was lowered)
    // send from the DHCP client ports, so none of these lets them out.
    return "add table " + t + " { flags owner; }\n" + "add set " + t +
           " tunnels { type ifname; }\n" + "add chain " + t +
           " output { type filter hook output priority filter; policy drop; }\n" + "add chain " +
           t + " forward { type filter hook forward priority filter; policy drop; }\n" +
           "add rule " + t + " output oifname \"lo\" accept\n" + "add rule " + t +
           " output oifname @tunnels accept\n" + "add rule " + t + " output meta mark " + mark +
           " accept\n" + "add rule " + t + " output udp sport 68 udp dport 67 accept\n" +
           "add rule " + t + " output ip6 saddr fe80::/10 udp sport 546 udp dport 547 accept\n" +
           "add rule " + t +
           " output icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert } "
           "ip6 hoplimit 255 accept\n" +
           "add rule " + t +
           " output icmpv6 type mld2-listener-report ip6 daddr ff02::16 accept\n" + "add rule " +
           t + " forward oifname @tunnels accept\n" + "add rule " + t +
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

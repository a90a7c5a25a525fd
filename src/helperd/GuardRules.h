#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The nftables commands of the helper's leak guard, as text for libnftables. Every
// command is built from fixed text and values the daemon derives itself: the mark it
// gives openvpn's transport and the tunnel name the kernel reports for openvpn's tun
// descriptor. A name outside a strict pattern yields no command at all.
class GuardRules {
public:
    static constexpr const char* table = "quovant_guard";
    static constexpr size_t maxInterfaceName = 15; // IFNAMSIZ - 1

    // Creates the table: owned by the creating netlink socket (the kernel deletes it
    // when the daemon dies), output and forward chains that drop everything but
    // loopback, the tunnel set, the marked transport and what keeps the addresses.
    static std::string create(uint32_t transportMark);
    // Replaces the tunnel set with `name`; empty if `name` is not a plain interface name.
    static std::optional<std::string> allowTunnel(std::string_view name);
    // Empties the tunnel set: an ended run's interface name may be taken by anyone.
    static std::string closeTunnels();
    // Fills the local-network sets with the private address ranges, or empties them.
    static std::string allowLocalNetwork(bool allowed);
    static std::string remove();

    // 1 to 15 of [A-Za-z0-9_.-], not "." or "..".
    static bool plainInterfaceName(std::string_view name);
};

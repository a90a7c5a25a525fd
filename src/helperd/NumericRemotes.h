#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// While the leak guard blocks, openvpn cannot look up a server given by host name: its
// query would leave outside the tunnel. The daemon looks the names up itself before the
// block goes up and hands openvpn the addresses instead, one `remote` per address in the
// order of the profile's remotes and of the look-up, each with its own port and
// protocol. Every line it writes is built from values it checked or made itself.
class NumericRemotes {
public:
    // A round-robin name may have many; openvpn tries each in turn.
    static constexpr size_t maxAddressesPerName = 8;

    // Host name -> numeric addresses in the resolver's order, as inet_ntop writes them.
    using Addresses = std::map<std::string, std::vector<std::string>, std::less<>>;

    // The host names (not addresses) the remotes of an accepted profile name, each once,
    // in the order they first appear.
    static std::vector<std::string> hostNames(std::string_view profile);
    // The profile with each remote that names a host replaced by one remote per address
    // of that host (only the family its protocol can use; at most maxAddressesPerName).
    // Empty if no remote is left: none of the names has an address openvpn could use.
    static std::optional<std::string> rewrite(std::string_view profile, const Addresses& addresses);
    // A looked-up address as a `remote` line gives it to openvpn, and as the profile's
    // allowlist accepts it: IPv4-mapped IPv6 as the IPv4 address it stands for, IPv6 in
    // its shortest form but never beginning with a colon ("0::1", not "::1"). Empty if
    // `text` is no address.
    static std::optional<std::string> remoteAddress(std::string_view text);
    // Whether `text` is an IPv4 or IPv6 address, not a name.
    static bool isAddress(std::string_view text);
};

#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the VPN server said about name resolution, as openvpn hands it to its route-up
// script in the environment: `dhcp-option DNS/DNS6/DOMAIN/DOMAIN-SEARCH` as
// foreign_option_N, openvpn 2.6's `dns` option as dns_server_N_* and dns_search_domain_N.
// Every value comes from the network: only those that pass strict checks are kept
// (addresses as parsed by inet_pton, and none that cannot be a VPN's server: unspecified,
// loopback, multicast, broadcast, link-local, reserved; domains as host names); the rest are
// named in `ignored` for the log.
struct PushedDns {
    struct Server {
        int family = 0;               // AF_INET or AF_INET6
        std::vector<uint8_t> address; // 4 or 16 bytes, network order
        uint16_t port = 0;            // 0: the default
        std::string text;             // the address as inet_ntop writes it
        bool overTls = false;
    };
    static constexpr size_t maxServers = 16;
    static constexpr size_t maxDomains = 32;

    std::vector<Server> servers;
    // Suffixes the server offered for short names, lower case.
    std::vector<std::string> searchDomains;
    // Domains only the tunnel's servers should answer for (`dns server N resolve-domains`).
    std::vector<std::string> routingDomains;
    // Whether the tunnel takes the default route: not the server's word but the routes
    // openvpn set up (FullTunnel), filled in by whoever read them.
    bool defaultRoute = false;
    std::vector<std::string> ignored;

    using Environment = std::map<std::string, std::string>;
    static PushedDns fromEnvironment(const Environment& environment);

    // A host name: labels of letters, digits and inner hyphens, at most 253 characters
    // ("." alone is not one). Lower-cased; empty when the text is not one.
    static std::string domain(const std::string& text);
};

#pragma once

#include "helperd/PushedDns.h"

#include <optional>
#include <string>
#include <vector>

// What to do to the machine's name resolution for one run, for the resolver it uses.
//
// With systemd-resolved everything goes on the tunnel's link, as resolved documents
// for VPNs: a tunnel that takes the default route gets the routing domain "~." and is
// the default route for lookups, so that no name goes to the LAN's resolver; a split
// tunnel is no default route and gets the pushed domains as routing domains only. Pushed
// search domains become routing domains there too: a VPN server does not get to answer
// for every short name the user types ("printer", "intranet"). resolvconf and a plain
// /etc/resolv.conf know no routing domains: there the search domains stay search
// domains, and resolvconf is told to be exclusive when the tunnel takes the default route.
struct DnsPlan {
    enum class Setup { resolved, resolvconf, file, none };

    // Where /etc/resolv.conf leads and what is installed: which way DNS is changed.
    struct Facts {
        // Where /etc/resolv.conf points when it is a symbolic link, resolved fully
        // (realpath); empty when it is a file or missing.
        std::string resolvConfTarget;
        bool resolvedRunning = false;
        bool resolvconfInstalled = false;
    };
    static Setup setupFor(const Facts& facts);

    struct Domain {
        std::string name; // "." for the root
        bool routingOnly = false;
        bool operator==(const Domain&) const = default;
    };

    Setup setup = Setup::none;
    // systemd-resolved, applied in this order: domains and default route before the
    // servers, so that the link never answers as a default route with servers alone.
    std::vector<Domain> domains;
    bool defaultRoute = false;
    bool dnsOverTls = false;
    std::vector<PushedDns::Server> servers;
    // resolvconf and the file: the resolv.conf text.
    std::string resolvConf;
    bool exclusive = false;

    // Why `setup` cannot use `server`, or null: resolv.conf (resolvconf's and the plain file)
    // names neither a port nor TLS, so such a server written there would be asked in plain
    // text on port 53, where it does not answer.
    static const char* unusable(const PushedDns::Server& server, Setup setup);

    // Nothing to do when the server pushed no usable server, or none that `setup` can use.
    static std::optional<DnsPlan> forPush(const PushedDns& pushed, Setup setup);
};

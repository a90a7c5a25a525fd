#pragma once

#include "helperd/DnsPlan.h"

#include <string>

// Looks at the machine for what decides how DNS is changed (DnsPlan::setupFor). The
// paths are the machine's unless a test names others.
struct ResolverFacts {
    std::string resolvConf = "/etc/resolv.conf";
    // resolved's varlink socket: listened on while resolved runs (its file stays after).
    std::string resolvedSocket = "/run/systemd/resolve/io.systemd.Resolve";
    std::string resolvconf = "/usr/sbin/resolvconf";
    std::string resolvconfSbin = "/sbin/resolvconf";

    DnsPlan::Facts read() const;
    // Whether the resolvconf installed is openresolv, the one that knows -x (exclusive):
    // Debian's own resolvconf refuses the option. openresolv's script names itself.
    bool openresolv() const;
};

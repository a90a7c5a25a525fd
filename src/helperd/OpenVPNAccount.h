#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The system account openvpn runs as, with CAP_NET_ADMIN alone, where the machine has one
// that can do openvpn's work; otherwise openvpn keeps root's uid (its capabilities are
// narrowed either way).
struct OpenVPNAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    // Its directory for the management socket and temporary files.
    std::string dir;

    // Looks the account up and makes its directory, a directory of root's that the
    // account's group may write in. The helper has no CAP_CHOWN under its unit: it joins
    // that group, which lets it give the directory to the group (and reach the socket
    // openvpn makes there, which is the group's). nullopt, and the log says why, where
    // openvpn runs as root.
    static std::optional<OpenVPNAccount> prepare();

    // openvpn opens the tunnel device itself, and a capability does not open a file its
    // permissions refuse: where only root may (a container's /dev/net/tun is often 0600),
    // openvpn under the account could never connect.
    static bool mayOpen(const struct stat& device, uid_t uid, gid_t gid);
};

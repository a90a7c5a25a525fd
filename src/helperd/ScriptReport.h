#pragma once

#include "helperd/PushedDns.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What openvpn's route-up and down scripts tell the daemon, on a socket the daemon hands
// openvpn and openvpn's scripts inherit: the script's DNS-related variables as
// "NAME=value" lines, then "up" or "down" alone on a line. The scripts run inside
// openvpn, which parses what the VPN server sends: everything here is hostile. Only
// allowlisted names are kept, a report is bounded, and anything else ends the channel.
class ScriptReport {
public:
    // One report, in bytes and in variables.
    static constexpr size_t maxBytes = 64 * 1024;
    static constexpr size_t maxVariables = 1024;

    struct Report {
        bool up = false;
        PushedDns::Environment environment;
    };

    // The reports completed by `bytes`; empty optional: a malformed or oversized report,
    // after which the channel is closed.
    std::optional<std::vector<Report>> feed(std::string_view bytes);

    // A name the scripts may report: the pushed DNS options. Not the device (the daemon
    // named it when it started openvpn), nor the routes (the daemon reads the kernel's).
    static bool reported(std::string_view name);

private:
    std::string partial_;
    Report building_;
    size_t buildingBytes_ = 0;
};

#pragma once

#include <optional>
#include <string>
#include <string_view>

// The tunnel interface of a run, named by the daemon before openvpn starts (`--dev-type
// TYPE --dev NAME` after the profile), so the leak guard lets traffic out through it
// from openvpn's first packet on, and through no interface the profile chose.
class TunnelDevice {
public:
    static constexpr int maxIndex = 255;

    // "tap" if an accepted profile asks for a tap device (`dev-type tap`, or `dev tap…`
    // without `dev-type`), "tun" otherwise. Inline blocks are not read.
    static std::string typeOf(std::string_view profile);
    // TYPE followed by the lowest index from 0 to maxIndex that no interface uses; empty
    // if all do.
    static std::optional<std::string> freeName(const std::string& type);
};

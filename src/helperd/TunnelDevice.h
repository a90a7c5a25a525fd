#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// The tun/tap interface a process holds open, as the kernel names it: the `iff:` line
// of the fdinfo of its /dev/net/tun descriptor. The helper learns its openvpn's tunnel
// this way, whatever name the profile's `dev` left to the kernel.
class TunnelDevice {
public:
    static std::optional<std::string> heldBy(pid_t pid);
    // The interface name in one fdinfo text, if it has one.
    static std::optional<std::string> fromFdInfo(const std::string& fdinfo);
};

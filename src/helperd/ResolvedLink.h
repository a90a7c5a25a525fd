#pragma once

#include "helperd/DnsPlan.h"

#include <functional>
#include <string>
#include <systemd/sd-bus.h>

// Sets and reverts a link's DNS in systemd-resolved through its D-Bus API
// (org.freedesktop.resolve1.Manager), the interface resolved keeps stable across
// versions. The calls go out without waiting, on a system bus connection someone else
// owns and processes; the callback runs from that processing once resolved answered the
// last of them: with an empty text, or what went wrong first (the calls after a failed
// one are not made; the caller reverts the link). The domains and the default route are
// in place before the servers.
class ResolvedLink {
public:
    // Empty: done.
    using Callback = std::function<void(const std::string& error)>;
    static constexpr uint64_t callTimeoutUs = 5'000'000;

    // `plan` is one made for Setup::resolved.
    static void apply(sd_bus* bus, int ifindex, const DnsPlan& plan, Callback callback);
    // Back to what resolved would do without us (nothing, for a tunnel's link).
    static void revert(sd_bus* bus, int ifindex, Callback callback);
};

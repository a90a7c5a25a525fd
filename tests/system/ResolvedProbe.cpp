// Applies to a link in systemd-resolved what openvpn's script environment (this
// program's own) and the routes through the link say about DNS, or reverts the link,
// through the helper's own code:
//   quovant-resolved-probe apply|revert DEVICE
#include "helperd/DnsPlan.h"
#include "helperd/ResolvedLink.h"
#include "helperd/TunnelRoutes.h"

#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <string>

extern char** environ;

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "apply") != 0 && std::strcmp(argv[1], "revert") != 0)) {
        std::fprintf(stderr, "usage: quovant-resolved-probe apply|revert DEVICE\n");
        return 2;
    }
    const int ifindex = static_cast<int>(::if_nametoindex(argv[2]));
    if (ifindex == 0) {
        std::fprintf(stderr, "no device %s\n", argv[2]);
        return 1;
    }
    PushedDns::Environment environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        std::fprintf(stderr, "no system bus\n");
        return 1;
    }
    bool done = false;
    std::string error;
    const auto finished = [&](const std::string& why) {
        done = true;
        error = why;
    };
    if (std::strcmp(argv[1], "revert") == 0) {
        ResolvedLink::revert(bus, ifindex, finished);
    } else {
        // As the helper decides it: from the routes through the device.
        PushedDns pushed = PushedDns::fromEnvironment(environment);
        const auto routes = TunnelRoutes::of(argv[2]);
        pushed.defaultRoute = routes && FullTunnel::takesDefaultRoute(routes.value());
        const auto plan = DnsPlan::forPush(pushed, DnsPlan::Setup::resolved);
        if (!plan) {
            std::fprintf(stderr, "nothing to apply\n");
            return 1;
        }
        ResolvedLink::apply(bus, ifindex, *plan, finished);
    }
    // Each call has its own time-out: the loop ends.
    while (!done)
        if (sd_bus_process(bus, nullptr) == 0)
            sd_bus_wait(bus, 1'000'000);
    sd_bus_flush_close_unref(bus);
    if (!error.empty())
        std::fprintf(stderr, "%s\n", error.c_str());
    return error.empty() ? 0 : 1;
}

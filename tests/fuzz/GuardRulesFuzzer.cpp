// Arbitrary bytes as an interface name and as a profile: whatever comes in, a guard
// command carries at most one plain name, between its own quotes, on its own two lines,
// and a profile yields one of the two fixed tunnel types.
#include "helperd/GuardRules.h"
#include "helperd/TunnelDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto commands = GuardRules::allowTunnel(input)) {
        const std::string expected = "flush set inet quovant_guard tunnels\n"
                                     "add element inet quovant_guard tunnels { \"" +
                                     std::string(input) + "\" }\n";
        if (!GuardRules::plainInterfaceName(input) || *commands != expected ||
            std::count(commands->begin(), commands->end(), '"') != 2 ||
            std::count(commands->begin(), commands->end(), '\n') != 2)
            std::abort();
    }
    const std::string type = TunnelDevice::typeOf(input);
    if (type != "tun" && type != "tap")
        std::abort();
    return 0;
}

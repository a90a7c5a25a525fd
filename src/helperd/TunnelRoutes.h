#pragma once

#include "helperd/FullTunnel.h"
#include "platform/Result.h"

#include <string>
#include <vector>

// The routes of the main table that lead through one device, as the kernel holds them,
// read over rtnetlink: what openvpn has really set up, whatever it was told.
class TunnelRoutes {
public:
    // A dump is bounded: a table past this many routes is read no further.
    static constexpr size_t maxRoutes = 65536;

    static Result<std::vector<FullTunnel::Prefix>> of(const std::string& device);
};

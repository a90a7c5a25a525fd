#pragma once

#include "vpn/ConnectionStats.h"
#include "vpn/ConnectionStatus.h"

#include <cstdint>
#include <string>

// The connection at a glance, in the window's words: the look's state and, while
// connected, the server, the time connected and the traffic either way. Two lines
// when connected, one otherwise.
namespace StatusLine {

// `stopping`: the tunnel is being ended. `blocked`: the tunnel went down without the user
// asking, and the helper lets nothing out until the user reconnects or disconnects.
enum class Look { disconnected, connecting, connected, stopping, blocked };

// The look of each phase of the connection.
Look of(RunPhase phase);

// The state alone, without the figures: "Verbonden met 192.0.2.7", "Verbinden...".
std::string headline(Look look, const ConnectionStats::Snapshot& stats);

std::string text(Look look, const ConnectionStats::Snapshot& stats,
                 ConnectionStats::Clock::time_point now);

// "0 min", "59 min", "1 u 05 min".
std::string duration(int64_t minutes);

} // namespace StatusLine

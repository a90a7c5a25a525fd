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
// `stillReconnecting`: the tunnel that was up has been remade for long, the block holds
// meanwhile, and the user has the same two ways out while openvpn goes on trying.
enum class Look { disconnected, connecting, connected, stopping, blocked, stillReconnecting };

// The look of the connection's status.
Look of(const ConnectionStatus& status);

// The state alone, without the figures: "Verbonden met 192.0.2.7", "Verbinden...".
std::string headline(Look look, const ConnectionStats::Snapshot& stats);

// `progress`: what openvpn is doing while it connects, shown on a line under the
// connecting look's words; empty for nothing more.
std::string text(Look look, const ConnectionStats::Snapshot& stats,
                 ConnectionStats::Clock::time_point now, const std::string& progress = {});

// "0 min", "59 min", "1 u 05 min".
std::string duration(int64_t minutes);

} // namespace StatusLine

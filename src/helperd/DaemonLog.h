#pragma once

#include "helperd/LogSummary.h"

#include <optional>
#include <string_view>

// The daemon's log: the system log through LogSummary, so that no client (nor openvpn's
// server) can flood it with alike lines, each line scrubbed of secrets first (LogScrub).
class DaemonLog {
public:
    static void line(std::string_view text);
    static void flush();
    // Sums up what is held, windows over or not: the daemon is ending.
    static void finish();
    static std::optional<LogSummary::Clock::time_point> nextFlush();
};

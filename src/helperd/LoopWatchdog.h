#pragma once

#include <chrono>
#include <optional>

// Tells systemd the daemon's loop still turns, where the unit asks for it (WatchdogSec=):
// a loop that stalls is then killed and the helper started afresh by its socket, instead of
// leaving every user without one.
class LoopWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    LoopWatchdog();
    // When the loop must call feed() next; none where systemd watches nothing.
    std::optional<Clock::time_point> due() const;
    void feed(Clock::time_point now);

private:
    std::optional<Clock::duration> interval_;
    Clock::time_point next_;
};

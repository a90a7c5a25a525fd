#include "helperd/LoopWatchdog.h"

#include <cstdint>
#include <systemd/sd-daemon.h>

LoopWatchdog::LoopWatchdog() {
    uint64_t usec = 0;
    // The variables go: openvpn and the look-up child are not watched.
    if (sd_watchdog_enabled(1, &usec) > 0 && usec > 0)
        // Twice per period, so that one late turn is no miss.
        interval_ =
            std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(usec / 2));
    next_ = Clock::now();
}

std::optional<LoopWatchdog::Clock::time_point> LoopWatchdog::due() const {
    if (!interval_)
        return std::nullopt;
    return next_;
}

void LoopWatchdog::feed(Clock::time_point now) {
    if (!interval_ || now < next_)
        return;
    sd_notify(0, "WATCHDOG=1");
    next_ = now + *interval_;
}

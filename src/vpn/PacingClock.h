#pragma once

#include <chrono>

// The time the management read loop paces its reads by: when "now" is, and a pause.
// The process uses the steady clock; a test passes one it drives, so the pacing rule
// is checked by what the loop asks for rather than by how long it took.
class PacingClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~PacingClock() = default;
    virtual TimePoint now() = 0;
    virtual void sleepFor(Duration duration) = 0;

    // The steady clock and a real sleep, shared by every user.
    static PacingClock& steady();
};

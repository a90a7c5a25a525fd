#include "vpn/PacingClock.h"

#include <thread>

namespace {

class SteadyPacingClock : public PacingClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(Duration duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

PacingClock& PacingClock::steady() {
    static SteadyPacingClock clock;
    return clock;
}

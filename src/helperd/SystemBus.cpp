#include "helperd/SystemBus.h"

#include "helperd/DaemonLog.h"

#include <cstring>
#include <poll.h>
#include <time.h>

SystemBus::~SystemBus() {
    if (bus_)
        sd_bus_flush_close_unref(bus_);
}

sd_bus* SystemBus::get(std::string& why) {
    if (bus_)
        return bus_;
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_system(&bus); r < 0) {
        why = std::string("no system bus: ") + std::strerror(-r);
        return nullptr;
    }
    bus_ = bus;
    return bus_;
}

void SystemBus::disconnect(const std::string& why) {
    DaemonLog::line("lost the system bus: " + why);
    sd_bus* bus = bus_;
    bus_ = nullptr;
    // Closing frees the calls' slots, whose owners learn so; then the others are told.
    sd_bus_flush_close_unref(bus);
    if (lost_)
        lost_(why);
}

int SystemBus::fd() const {
    return bus_ ? sd_bus_get_fd(bus_) : -1;
}

short SystemBus::events() const {
    const int events = bus_ ? sd_bus_get_events(bus_) : 0;
    return static_cast<short>(events > 0 ? events : POLLIN);
}

std::optional<SystemBus::Clock::time_point> SystemBus::deadline() const {
    uint64_t when = 0;
    if (!bus_ || sd_bus_get_timeout(bus_, &when) < 0 || when == UINT64_MAX)
        return std::nullopt;
    // sd-bus counts on CLOCK_MONOTONIC, as steady_clock does.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUs =
        static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    const uint64_t left = when > nowUs ? when - nowUs : 0;
    return Clock::now() + std::chrono::microseconds(left);
}

void SystemBus::process() {
    while (bus_) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0)
            return disconnect(std::strerror(-r));
        if (r == 0)
            return;
    }
}

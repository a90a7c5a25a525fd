#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <systemd/sd-bus.h>

// The daemon's one connection to the system bus, shared by what asks polkit and what
// speaks to systemd-resolved. Nothing on it waits: calls go out asynchronously and the
// daemon's loop polls fd() and calls process(), which runs the answers' callbacks. A
// connection that fails is closed (the calls in flight learn so through their slots, and
// `lost` is told), and the next get() opens a new one.
class SystemBus {
public:
    using Clock = std::chrono::steady_clock;

    SystemBus() = default;
    ~SystemBus();
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    // The connection, opened when first needed; null with why there is none.
    sd_bus* get(std::string& why);
    // Told why, once a connection with calls in flight has failed.
    void onLost(std::function<void(const std::string& why)> lost) { lost_ = std::move(lost); }

    // For the loop: the descriptor (-1 when none), what to wait for on it, when process()
    // is due at the latest.
    int fd() const;
    short events() const;
    std::optional<Clock::time_point> deadline() const;
    void process();

private:
    void disconnect(const std::string& why);

    sd_bus* bus_ = nullptr;
    std::function<void(const std::string&)> lost_;
};

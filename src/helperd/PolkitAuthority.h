#pragma once

#include "helperd/ClientPolicy.h"
#include "helperd/SystemBus.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <systemd/sd-bus.h>

// Asks polkit (org.freedesktop.PolicyKit1.Authority.CheckAuthorization) whether a client
// process may do an action, without ever asking it for a password. The calls go out on
// the daemon's system bus connection without waiting; the bus's processing runs each
// answer's callback. Where there is no bus or no polkit on it, the answer is
// `unavailable`; where it says nothing within answerTimeout, `failed`.
class PolkitAuthority {
public:
    using Clock = std::chrono::steady_clock;
    using Answer = ClientPolicy::Authority;
    using Callback = std::function<void(Answer)>;
    static constexpr auto answerTimeout = std::chrono::seconds(5);

    // A pinned process (CallerProcess): never a start time of 0, with which polkit would
    // judge whichever process holds the pid when it looks.
    struct Subject {
        pid_t pid = 0;
        // The process's start time in clock ticks after boot (field 22 of /proc/PID/stat),
        // so that polkit never judges another process that got the same pid.
        uint64_t startTime = 0;
        uid_t uid = 0;
        // Sent beside the pid where there is one: polkit from version 123 on judges the
        // process it names (and reports one that has ended), older ones ignore it.
        int pidfd = -1;
    };

    explicit PolkitAuthority(SystemBus& bus);
    PolkitAuthority(const PolkitAuthority&) = delete;
    PolkitAuthority& operator=(const PolkitAuthority&) = delete;

    // `callback` runs from process(), or at once when there is no one to ask.
    void check(const Subject& subject, const std::string& action, Callback callback);

private:
    struct Pending {
        PolkitAuthority* authority = nullptr;
        uint64_t id = 0;
        Callback callback;
    };
    static int answered(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    void lost();
    void unavailable(const std::string& why);

    SystemBus& bus_;
    std::map<uint64_t, std::unique_ptr<Pending>> pending_;
    uint64_t nextId_ = 1;
    bool toldUnavailable_ = false;
};

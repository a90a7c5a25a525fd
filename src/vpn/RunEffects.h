#pragma once

#include "helper/HelperProtocol.h"
#include "vpn/RunEvent.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// What the helper is asked to run.
struct RunRequest {
    std::string config;
    std::string up;
    std::string down;
    std::string usernameCommand;
    std::string passwordCommand;
    LeakBlock block;
};

// What the run's owner does to the world. Every call returns at once; what comes of it
// comes back later as a RunEvent tagged with `run`.
class RunEffects {
public:
    virtual ~RunEffects() = default;

    // The login chain: profileReady or profileFailed.
    virtual void fetchProfile(uint64_t run, const Credentials& credentials) = 0;
    // The chain under way stops; its completion never comes.
    virtual void cancelProfile() = 0;
    // The installed client.up and client.down, or none when either is missing.
    virtual std::optional<std::pair<std::string, std::string>> scripts() = 0;
    // How many servers the profile at `config` gives openvpn to try (at least one).
    virtual size_t servers(const std::string& config) = 0;
    // helperStarted, then helperEnded; or helperEnded / helperFailed alone.
    virtual void askHelper(uint64_t run, const RunRequest& request) = 0;
    // Gives the management client the connection the helper handed over with the run's
    // start: attached or attachFailed.
    virtual void attach(uint64_t run) = 0;
    // Starts reading the attached management connection: its lines come as events.
    virtual void startReading(uint64_t run) = 0;
    virtual void send(const std::string& command) = 0;
    // Asks the helper of `run` to end its openvpn; the block stays with `keepBlock`.
    virtual void kill(uint64_t run, bool keepBlock) = 0;
    // Asks the helper that holds the block of `run` to end it.
    virtual void releaseBlock(uint64_t run) = 0;
    // helperGone once the helper connection of `run` breaks.
    virtual void watchBlock(uint64_t run) = 0;
    virtual void startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds after) = 0;
    // The phase changed, or a state word was stored (`wordStored`, even the same word
    // again): whoever shows the status looks again.
    virtual void statusChanged(bool wordStored) = 0;
    // The shown traffic or minutes connected changed.
    virtual void trafficChanged() = 0;
    // After a quit: no run is left.
    virtual void quitDone() = 0;
    virtual void log(const std::string& line) = 0;
};

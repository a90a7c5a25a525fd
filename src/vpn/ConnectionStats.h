#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// What the user sees of a live tunnel at a glance: the server, since when it has been
// connected, and openvpn's traffic totals. Kept by the run machine, on the main thread.
class ConnectionStats {
public:
    using Clock = std::chrono::steady_clock;

    struct Snapshot {
        bool connected = false;
        std::string server;
        Clock::time_point since;
        uint64_t bytesIn = 0;
        uint64_t bytesOut = 0;
    };

    // A server address longer than this is not one, and is not shown.
    static constexpr size_t maxServerLength = 64;

    // The remote address of the state line whose word comes next.
    void stateAddress(std::string_view address);
    // A stored state word: CONNECTED starts the clock unless the tunnel was already up;
    // a word of the stopped or connecting phase ends it and clears the totals; a word
    // outside the table changes nothing, as it leaves the window as it is.
    void stateStored(std::string_view word, Clock::time_point now);
    // Stores the totals. True when what the status shows of them has changed: their
    // byte units or the whole minutes connected, the two things it displays, so the
    // window is woken at most that often, not with every count.
    bool byteCount(uint64_t in, uint64_t out, Clock::time_point now);

    Snapshot snapshot() const;

    // Whole minutes connected at `now`.
    static int64_t minutesConnected(const Snapshot& snapshot, Clock::time_point now);

private:
    Snapshot current_;
    std::string nextServer_;
    std::string shown_; // what the last published totals and minutes looked like
};

#include "vpn/ConnectionStats.h"

#include "vpn/ByteUnits.h"
#include "vpn/ConnectionState.h"

void ConnectionStats::stateAddress(std::string_view address) {
    nextServer_ = address.size() <= maxServerLength ? std::string(address) : std::string();
}

void ConnectionStats::stateStored(std::string_view word, Clock::time_point now) {
    const auto phase = ConnectionState::phaseOf(word);
    if (phase == ConnectionState::Phase::connected && !current_.connected) {
        current_.connected = true;
        current_.since = now;
        current_.server = nextServer_;
    } else if (phase == ConnectionState::Phase::stopped ||
               phase == ConnectionState::Phase::connecting) {
        current_ = {};
        shown_.clear();
    }
    nextServer_.clear();
}

bool ConnectionStats::byteCount(uint64_t in, uint64_t out, Clock::time_point now) {
    current_.bytesIn = in;
    current_.bytesOut = out;
    if (!current_.connected)
        return false;
    std::string shown = ByteUnits::format(in) + "/" + ByteUnits::format(out) + "/" +
                        std::to_string(minutesConnected(current_, now));
    if (shown == shown_)
        return false;
    shown_ = std::move(shown);
    return true;
}

ConnectionStats::Snapshot ConnectionStats::snapshot() const {
    return current_;
}

int64_t ConnectionStats::minutesConnected(const Snapshot& snapshot, Clock::time_point now) {
    if (!snapshot.connected || now < snapshot.since)
        return 0;
    return std::chrono::duration_cast<std::chrono::minutes>(now - snapshot.since).count();
}

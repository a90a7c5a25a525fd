#pragma once

#include "vpn/BackgroundQueue.h"
#include "vpn/ManagementSocket.h"
#include "vpn/PacingClock.h"
#include "vpn/StateSink.h"
#include "vpn/Utf8Decoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// Client of openvpn's management interface: sends the commands its callers give
// it and, on a reader thread of its own that reads one connection after another,
// cuts the received text into lines and acts on them. It never answers a message by
// itself.
class OpenVPNManagement {
public:
    static constexpr size_t readSize = 2048;
    // Once the tunnel is up, the shortest time between a short read and the next one.
    static constexpr auto readPause = std::chrono::milliseconds(100);

    explicit OpenVPNManagement(StateSink& states, PacingClock& clock = PacingClock::steady());
    ~OpenVPNManagement();
    OpenVPNManagement(const OpenVPNManagement&) = delete;
    OpenVPNManagement& operator=(const OpenVPNManagement&) = delete;

    ManagementSocket& socket() { return socket_; }

    // Sends `command` (its line feed included) and echoes it to standard output,
    // the value of a password command masked.
    void sendCommand(std::string_view command);

    // Starts the read loop for the current connection. The loop ends when that connection
    // closes, so a new connection never leaves two loops on one socket. The loop hands what it
    // reads to `sink` (kept until the loop ends), or to the client's own sink when none is given.
    void startReading(std::shared_ptr<StateSink> sink = nullptr);

    // What one read loop carries from read to read: an unfinished character, the
    // text not yet cut into lines, and whether a CONNECTED state has been read.
    struct ReadBuffer {
        Utf8Decoder decoder;
        std::string text;
        bool connected = false;
    };
    // Takes one read's bytes: decodes, cuts and handles every complete line.
    void receive(ReadBuffer& buffer, std::string_view bytes) { receive(buffer, bytes, states_); }

    // Cuts every complete line off the front of `buffer`, handles each, returns the rest.
    std::string processBuffer(std::string buffer);
    // Act on one line; each returns the state word it handed to the sink, if any.
    std::optional<std::string> handleLine(std::string_view line) {
        return handleLine(line, states_);
    }
    std::optional<std::string> handleState(std::string_view payload) {
        return handleState(payload, states_);
    }
    void handleByteCount(std::string_view payload) { handleByteCount(payload, states_); }

    // Waits (at most `timeout`) until no read loop runs: once openvpn has ended, its
    // last lines are then handled before anyone records that it ended.
    bool waitUntilReadingEnds(std::chrono::milliseconds timeout);
    // Whether a read loop runs, that is, a management connection is open.
    bool reading();

    // Reads made by all loops so far (benchmarks check that an idle loop makes none).
    uint64_t readCount() const { return reads_.load(); }

private:
    void readLoop(const std::shared_ptr<StreamConnection>& connection, StateSink& sink);
    void receive(ReadBuffer& buffer, std::string_view bytes, StateSink& sink);
    std::string cutLines(std::string buffer, bool& connected, StateSink& sink);
    std::optional<std::string> handleLine(std::string_view line, StateSink& sink);
    std::optional<std::string> handleState(std::string_view payload, StateSink& sink);
    void handleByteCount(std::string_view payload, StateSink& sink);

    StateSink& states_;
    PacingClock& clock_;
    ManagementSocket socket_;
    std::atomic<uint64_t> reads_{0};

    std::mutex loopMutex_;
    std::condition_variable loopEnded_;
    bool loopRunning_ = false;
    std::shared_ptr<StreamConnection> loopConnection_;
    // Last, so it goes first, waiting for a loop that uses everything above.
    BackgroundQueue reader_;
};

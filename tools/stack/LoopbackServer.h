#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <string>

// A plain TCP listener on 127.0.0.1 that a test drives by hand, standing in for the
// far end of a connection.
class LoopbackServer {
public:
    explicit LoopbackServer(uint16_t port = 0, int backlog = 8);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }

    // Whether something accepts TCP connections on 127.0.0.1:`port` right now.
    static bool reachable(uint16_t port);

    // A connection to this listener, for code that takes a connected socket; accept()
    // takes its far end.
    UniqueFd dial() const;

    // Accepts the next connection (bounded); false on time-out. It becomes the current one.
    bool accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    int acceptedCount() const { return accepted_; }

    bool send(const std::string& bytes);
    // Whatever arrives within `timeout`, up to the connection's end.
    std::string receive(std::chrono::milliseconds timeout);
    // Reads until `text` has arrived or the time is up; returns everything read.
    std::string receiveUntil(const std::string& text, std::chrono::milliseconds timeout);
    void closeConnection();

private:
    int listenFd_ = -1;
    int connectionFd_ = -1;
    uint16_t port_ = 0;
    int accepted_ = 0;
};

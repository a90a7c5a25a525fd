#pragma once

#include "vpn/TCPConnection.h"

#include <memory>
#include <mutex>
#include <string>

// A TCP client for one IPv4 address and port that can be connected again and again.
// A new connect() first ends the current connection, which ends a read blocked on it.
class TCPClient {
public:
    TCPClient(std::string address, int32_t port);
    ~TCPClient();
    TCPClient(const TCPClient&) = delete;
    TCPClient& operator=(const TCPClient&) = delete;

    SocketResult connect(double timeoutSeconds);
    SocketResult send(std::string_view text);
    ReadResult read(size_t maxBytes, double timeoutSeconds);
    void close();

    // The current connection, for a reader that must stay with the connection it began on.
    std::shared_ptr<TCPConnection> connection() const;

    const std::string& address() const { return address_; }
    int32_t port() const { return port_; }

private:
    const std::string address_;
    const int32_t port_;
    mutable std::mutex mutex_;
    std::shared_ptr<TCPConnection> connection_;
};

#pragma once

#include "platform/UniqueFd.h"
#include "vpn/StreamConnection.h"

#include <memory>
#include <mutex>
#include <string>

// The management client's end of its connection to openvpn: a connected stream socket
// handed over (the helper's connection to the run's openvpn), replaced by the next one.
// Adopting a new connection or closing first ends the current one, which ends a read
// blocked on it.
class ManagementSocket {
public:
    ManagementSocket() = default;
    ~ManagementSocket();
    ManagementSocket(const ManagementSocket&) = delete;
    ManagementSocket& operator=(const ManagementSocket&) = delete;

    // Takes over the connected socket `fd`; false if no connection can be made of it.
    bool adopt(UniqueFd fd);
    SocketResult send(std::string_view text);
    ReadResult read(size_t maxBytes, double timeoutSeconds);
    void close();

    // The current connection, for a reader that must stay with the connection it began on.
    std::shared_ptr<StreamConnection> connection() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<StreamConnection> connection_;
};

#pragma once

#include <netinet/in.h>
#include <optional>
#include <string_view>
#include <sys/types.h>

class TCPConnection;

// Who owns the socket at the other end of a loopback TCP connection, as the
// kernel's socket table (/proc/net/tcp) tells it. The entry looked for is the far
// end of exactly this connection: local address = our peer, remote = our own.
class SocketOwner {
public:
    static std::optional<uid_t> ofPeer(const TCPConnection& connection);
    // The same lookup in a table given as text (the format of /proc/net/tcp).
    static std::optional<uid_t> find(std::string_view table, const sockaddr_in& local,
                                     const sockaddr_in& peer);
    // The same lookup in a table read from `fd` to its end, in pieces of any size.
    static std::optional<uid_t> read(int fd, const sockaddr_in& local, const sockaddr_in& peer);
};

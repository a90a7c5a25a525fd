#include "vpn/SocketOwner.h"

#include "vpn/TCPConnection.h"

#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Enough for tens of thousands of sockets; the kernel writes the table, yet the
// read stays bounded.
constexpr size_t maxTableBytes = 16 * 1024 * 1024;

bool parseHex(std::string_view text, unsigned long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

// "0100007F:0539" is 127.0.0.1 port 1337: the address as the kernel stores it, printed
// as a host-order word, then the port in host order.
bool sameEndpoint(std::string_view field, const sockaddr_in& endpoint) {
    const size_t colon = field.find(':');
    unsigned long address = 0, port = 0;
    if (colon != 8 || !parseHex(field.substr(0, 8), address) || !parseHex(field.substr(9), port))
        return false;
    return address == endpoint.sin_addr.s_addr && port == ntohs(endpoint.sin_port);
}

std::string_view nextField(std::string_view& line) {
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    const size_t end = line.find(' ');
    std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

} // namespace

std::optional<uid_t> SocketOwner::find(std::string_view table, const sockaddr_in& local,
                                       const sockaddr_in& peer) {
    size_t pos = table.find('\n'); // the header line
    while (pos != std::string_view::npos && pos + 1 < table.size()) {
        const size_t end = table.find('\n', pos + 1);
        std::string_view line = table.substr(
            pos + 1, end == std::string_view::npos ? std::string_view::npos : end - pos - 1);
        pos = end;
        nextField(line); // "sl"
        const std::string_view localField = nextField(line);
        const std::string_view remoteField = nextField(line);
        if (!sameEndpoint(localField, peer) || !sameEndpoint(remoteField, local))
            continue;
        for (int skip = 0; skip < 4; ++skip) // st, tx:rx queue, tr:when, retrnsmt
            nextField(line);
        unsigned long uid = 0;
        const std::string_view uidField = nextField(line);
        const auto [ptr, error] =
            std::from_chars(uidField.data(), uidField.data() + uidField.size(), uid);
        if (error != std::errc() || ptr != uidField.data() + uidField.size())
            return std::nullopt;
        return static_cast<uid_t>(uid);
    }
    return std::nullopt;
}

std::optional<uid_t> SocketOwner::ofPeer(const TCPConnection& connection) {
    const int fd = ::open("/proc/net/tcp", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const auto owner = read(fd, connection.localAddress(), connection.peerAddress());
    ::close(fd);
    return owner;
}

std::optional<uid_t> SocketOwner::read(int fd, const sockaddr_in& local, const sockaddr_in& peer) {
    // Looked through piece by piece in one buffer of fixed size: the table lists every TCP
    // socket of the system, those still waiting out their close too, so it changes size
    // all the time, and a copy of it would hand the allocator a new size at every connect.
    char buffer[16384];
    size_t held = 0;
    size_t total = 0;
    std::optional<uid_t> owner;
    ssize_t n;
    while (!owner && total < maxTableBytes &&
           (n = ::read(fd, buffer + held, sizeof buffer - held)) > 0) {
        total += static_cast<size_t>(n);
        held += static_cast<size_t>(n);
        const std::string_view text(buffer, held);
        const size_t last = text.rfind('\n');
        if (last == std::string_view::npos || last == 0) {
            if (held == sizeof buffer)
                break; // a line longer than any the kernel writes
            continue;
        }
        owner = find(text.substr(0, last), local, peer);
        // Kept from the last line feed on: it ends the lines looked through, so the line
        // not read whole yet is taken for a line next time, not for the header.
        held -= last;
        std::memmove(buffer, buffer + last, held);
    }
    return owner;
}

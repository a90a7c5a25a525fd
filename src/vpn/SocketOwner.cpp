#include "vpn/SocketOwner.h"

#include "vpn/TCPConnection.h"

#include <charconv>
#include <fcntl.h>
#include <string>
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
    std::string table;
    char chunk[65536];
    ssize_t n;
    while (table.size() < maxTableBytes && (n = ::read(fd, chunk, sizeof chunk)) > 0)
        table.append(chunk, static_cast<size_t>(n));
    ::close(fd);
    return find(table, connection.localAddress(), connection.peerAddress());
}

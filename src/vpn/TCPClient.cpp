#include "vpn/TCPClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

TCPClient::TCPClient(std::string address, int32_t port)
    : address_(std::move(address)), port_(port) {}

TCPClient::~TCPClient() {
    close();
}

SocketResult TCPClient::connect(double timeoutSeconds) {
    close();

    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (port_ <= 0 || port_ > 65535 ||
        ::inet_pton(AF_INET, address_.c_str(), &target.sin_addr) != 1)
        return SocketResult::failure({SocketError::Kind::invalidAddress});
    target.sin_port = htons(static_cast<uint16_t>(port_));

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return SocketResult::failure({SocketError::Kind::system, errno});
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int err = errno;
        ::close(fd);
        return SocketResult::failure({SocketError::Kind::system, err});
    }
    auto connection = std::make_shared<TCPConnection>(fd, wakeFd);
    // Each command is one line the peer acts on: it goes out at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (errno != EINPROGRESS)
            return SocketResult::failure({errno == ECONNREFUSED
                                              ? SocketError::Kind::connectionRefused
                                              : SocketError::Kind::system,
                                          errno});
        pollfd pfd{fd, POLLOUT, 0};
        const int ms = timeoutSeconds < 0 ? -1 : static_cast<int>(timeoutSeconds * 1000.0 + 0.5);
        int ready;
        do {
            ready = ::poll(&pfd, 1, ms);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0)
            return SocketResult::failure({SocketError::Kind::connectionTimeout});
        int soError = 0;
        socklen_t length = sizeof soError;
        if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
            return SocketResult::failure({SocketError::Kind::system, errno});
        if (soError != 0)
            return SocketResult::failure({soError == ECONNREFUSED
                                              ? SocketError::Kind::connectionRefused
                                              : SocketError::Kind::system,
                                          soError});
    }

    std::lock_guard lock(mutex_);
    connection_ = std::move(connection);
    return SocketResult::success();
}

SocketResult TCPClient::send(std::string_view text) {
    auto current = connection();
    if (!current)
        return SocketResult::failure({SocketError::Kind::notConnected});
    return current->send(text);
}

ReadResult TCPClient::read(size_t maxBytes, double timeoutSeconds) {
    auto current = connection();
    if (!current)
        return {};
    return current->read(maxBytes, timeoutSeconds);
}

void TCPClient::close() {
    std::shared_ptr<TCPConnection> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(connection_);
    }
    if (old)
        old->shutdown();
}

std::shared_ptr<TCPConnection> TCPClient::connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

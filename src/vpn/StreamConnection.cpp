#include "vpn/StreamConnection.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int toMilliseconds(double seconds) {
    if (seconds < 0)
        return -1;
    return static_cast<int>(seconds * 1000.0 + 0.5);
}

} // namespace

std::string SocketError::description() const {
    switch (kind) {
    case Kind::connectionClosed:
        return "connection closed";
    case Kind::notConnected:
        return "not connected";
    case Kind::system:
        return std::string("socket error: ") + std::strerror(systemError);
    }
    return "unknown error";
}

StreamConnection::StreamConnection(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

StreamConnection::~StreamConnection() {
    ::close(fd_);
    ::close(wakeFd_);
}

SocketResult StreamConnection::send(std::string_view data) {
    std::lock_guard lock(sendMutex_);
    while (!data.empty()) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n >= 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (errno == EPIPE || errno == ECONNRESET)
                return SocketResult::failure({SocketError::Kind::connectionClosed});
            return SocketResult::failure({SocketError::Kind::system, errno});
        }
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return SocketResult::failure({SocketError::Kind::system, errno});
        if (fds[1].revents)
            return SocketResult::failure({SocketError::Kind::connectionClosed});
    }
    return SocketResult::success();
}

ReadResult::Status StreamConnection::waitReadable(double timeoutSeconds) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int ready;
    do {
        ready = ::poll(fds, 2, toMilliseconds(timeoutSeconds));
    } while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return ReadResult::Status::timedOut;
    if (ready < 0 || fds[1].revents)
        return ReadResult::Status::closed;
    return ReadResult::Status::data;
}

ReadResult StreamConnection::read(size_t maxBytes, double timeoutSeconds) {
    ReadResult result;
    result.status = waitReadable(timeoutSeconds);
    if (result.status != ReadResult::Status::data)
        return result;
    result.bytes.resize(maxBytes);
    ssize_t n;
    do {
        n = ::recv(fd_, result.bytes.data(), maxBytes, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        result.bytes.clear();
        result.status = ReadResult::Status::timedOut;
        return result;
    }
    if (n <= 0) {
        result.bytes.clear();
        result.status = ReadResult::Status::closed;
        return result;
    }
    result.bytes.resize(static_cast<size_t>(n));
    result.status = ReadResult::Status::data;
    return result;
}

void StreamConnection::shutdown() {
    // The wake goes first: a waiter woken by the end of stream alone would take it for
    // data, and a paced reader would sit out its pause before learning the truth.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    ::shutdown(fd_, SHUT_RDWR);
}

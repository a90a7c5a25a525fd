#include "vpn/ManagementSocket.h"

#include <fcntl.h>
#include <sys/eventfd.h>

ManagementSocket::~ManagementSocket() {
    close();
}

bool ManagementSocket::adopt(UniqueFd fd) {
    close();
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    const int flags = fd.valid() ? ::fcntl(fd.get(), F_GETFL) : -1;
    if (!wake.valid() || flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    auto connection = std::make_shared<StreamConnection>(fd.release(), wake.release());
    std::lock_guard lock(mutex_);
    connection_ = std::move(connection);
    return true;
}

SocketResult ManagementSocket::send(std::string_view text) {
    auto current = connection();
    if (!current)
        return SocketResult::failure({SocketError::Kind::notConnected});
    return current->send(text);
}

ReadResult ManagementSocket::read(size_t maxBytes, double timeoutSeconds) {
    auto current = connection();
    if (!current)
        return {};
    return current->read(maxBytes, timeoutSeconds);
}

void ManagementSocket::close() {
    std::shared_ptr<StreamConnection> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(connection_);
    }
    if (old)
        old->shutdown();
}

std::shared_ptr<StreamConnection> ManagementSocket::connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

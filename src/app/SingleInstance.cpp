#include "app/SingleInstance.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int forwardTimeoutMs = 500;

bool addressOf(const QString& path, sockaddr_un& address) {
    const QByteArray bytes = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (bytes.size() >= int(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    return true;
}

bool peerIsThisUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::getuid();
}

bool waitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    int ready;
    do
        ready = ::poll(&p, 1, forwardTimeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready == 1 && (p.revents & events);
}

std::string errorText() {
    return std::strerror(errno);
}

} // namespace

SingleInstance::SingleInstance(std::function<void()> reopen) : reopen_(std::move(reopen)) {}

SingleInstance::~SingleInstance() {
    if (listener_ < 0)
        return;
    notifier_.reset();
    ::close(listener_);
    ::unlink(QFile::encodeName(socketPath()).constData());
}

QString SingleInstance::socketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString dir = runtime.isEmpty() ? QDir::tempPath() : runtime;
    return dir + QStringLiteral("/quovant-%1.sock").arg(::getuid());
}

bool SingleInstance::forwardToRunning() {
    sockaddr_un address;
    if (!addressOf(socketPath(), address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    // A listener whose queue is full takes the connection once it has room.
    if (!connected && (errno == EAGAIN || errno == EINPROGRESS) && waitFor(fd, POLLOUT)) {
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    const bool running = connected && peerIsThisUser(fd);
    if (running && waitFor(fd, POLLOUT))
        ::send(fd, "reopen\n", 7, MSG_NOSIGNAL);
    ::close(fd);
    return running;
}

void SingleInstance::listen() {
    const QString path = socketPath();
    sockaddr_un address;
    if (!addressOf(path, address)) {
        Log::line("cannot listen for later starts: the socket path is too long");
        return;
    }
    // A socket of this user's left by an instance that did not end cleanly; anything
    // else at the path is not ours to remove, and the bind below says so.
    struct stat existing;
    if (::lstat(address.sun_path, &existing) == 0 && S_ISSOCK(existing.st_mode) &&
        existing.st_uid == ::getuid())
        ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // The socket file takes the socket's mode at bind: the owner's only.
    if (fd < 0 || ::fchmod(fd, 0600) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        Log::line("cannot listen for later starts: " + errorText());
        if (fd >= 0)
            ::close(fd);
        return;
    }
    listener_ = fd;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { acceptWaiting(); });
}

void SingleInstance::acceptWaiting() {
    for (;;) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const bool ours = peerIsThisUser(client);
        ::close(client);
        if (ours)
            reopen_();
    }
}

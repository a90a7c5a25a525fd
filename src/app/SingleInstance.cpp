#include "app/SingleInstance.h"

#include "app/CommandClient.h"
#include "platform/Log.h"
#include "platform/PrivateDirectory.h"

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool peerIsThisUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::getuid();
}

std::string errorText() {
    return std::strerror(errno);
}

QString runtimeDirectory() {
    return QFile::decodeName(PrivateDirectory::runtime().c_str());
}

// What is at the socket's path: this user's instance (taking calls or too busy to),
// a socket of this user's left over, or nothing this user's instance could be behind.
enum class Probe { Running, Busy, NobodyListens, NoneOfOurs };

// `reopen` (when not null) is sent to a running instance of this user's; with `kept`, the
// connection to a running instance is handed over instead of closed.
Probe probe(const sockaddr_un& address, const QByteArray* reopen, int* kept = nullptr) {
    // Only a socket file of this user's is called: not a link someone planted to
    // another of the user's sockets, nor someone else's socket.
    struct stat existing;
    if (::lstat(address.sun_path, &existing) != 0)
        return Probe::NoneOfOurs;
    if (!S_ISSOCK(existing.st_mode) || existing.st_uid != ::getuid())
        return Probe::NoneOfOurs;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Probe::NoneOfOurs;
    Probe found;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        found = peerIsThisUser(fd) ? Probe::Running : Probe::NoneOfOurs;
        // The connection is queued even while the running one is busy, and the message
        // fits an empty socket buffer: neither waits.
        if (found == Probe::Running && reopen)
            ::send(fd, reopen->constData(), size_t(reopen->size()), MSG_NOSIGNAL);
    } else if (errno == ECONNREFUSED) {
        found = Probe::NobodyListens;
    } else if (errno == EAGAIN) {
        // The listener's queue is full: an instance is there, too busy to take the call.
        found = Probe::Busy;
    } else {
        found = Probe::NoneOfOurs;
    }
    if (kept && found == Probe::Running)
        *kept = fd;
    else
        ::close(fd);
    return found;
}

// The start's one message, which it sends right after connecting: read for a moment at
// most, so that a start that stalls holds the window up no longer than that.
QByteArray readMessage(int fd) {
    QByteArray message;
    char buffer[SingleInstance::maxActivation + 16];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (message.size() < int(sizeof buffer) && !message.endsWith('\n')) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer - size_t(message.size()), 0);
        if (n <= 0)
            break;
        message.append(buffer, n);
    }
    return message;
}

} // namespace

SingleInstance::SingleInstance(Reopen reopen)
    : reopen_(std::move(reopen)), address_(safeAddress()) {}

SingleInstance::~SingleInstance() {
    stopListening();
    // Last: a start that gets the lock from here on finds no one listening, and runs.
    releaseLock();
}

void SingleInstance::stopListening() {
    if (listener_ < 0)
        return;
    notifier_.reset();
    ::close(listener_);
    listener_ = -1;
    // Another instance may have taken the path since; its socket is not ours to remove.
    struct stat now;
    const char* path = address_->sun_path;
    if (::lstat(path, &now) == 0 && now.st_dev == boundDevice_ && now.st_ino == boundInode_)
        ::unlink(path);
}

QString SingleInstance::socketPath() {
    const QString runtime = runtimeDirectory();
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/quovant-%1.sock").arg(::getuid());
    const std::string dir = PrivateDirectory::path();
    return dir.empty() ? QString()
                       : QFile::decodeName(dir.c_str()) + QStringLiteral("/quovant.sock");
}

std::optional<sockaddr_un> SingleInstance::safeAddress() {
    // Outside the runtime directory the socket's directory must be the user's own and
    // owner-only, or someone else could hold the name or link it to another socket.
    if (runtimeDirectory().isEmpty()) {
        const Result<int> dir = PrivateDirectory::open();
        if (!dir) {
            Log::line("running without the single-instance guard: " + dir.why());
            return std::nullopt;
        }
        ::close(dir.value());
    }
    const QByteArray bytes = QFile::encodeName(socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (bytes.size() >= int(sizeof address.sun_path)) {
        Log::line("running without the single-instance guard: the socket path is too long");
        return std::nullopt;
    }
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    return address;
}

static_assert(SingleInstance::notRunning == CommandClient::notRunning &&
              SingleInstance::busy == CommandClient::busy);

int SingleInstance::connectToRunning() {
    const std::optional<sockaddr_un> address = safeAddress();
    int fd = notRunning;
    const Probe found = address ? probe(*address, nullptr, &fd) : Probe::NoneOfOurs;
    if (found == Probe::Busy)
        return busy;
    if (found != Probe::Running)
        return notRunning;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool SingleInstance::forwardToRunning(bool reopen) {
    if (!address_)
        return false;
    const QByteArray message = reopenMessage(ownActivation());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        const Lock lock = takeLock();
        // An instance that holds no lock (one started before this version) counts too.
        const Probe found = probe(*address_, reopen ? &message : nullptr);
        if (found == Probe::Running || found == Probe::Busy) {
            if (found == Probe::Busy)
                Log::line("Quovant is already running but too busy to be reopened");
            releaseLock();
            return true;
        }
        if (lock != Lock::heldByAnother)
            return false;
        // Another start holds the lock but does not listen (yet): it is starting at this
        // very moment, or ending. It listens within moments, or lets go of the lock.
        if (std::chrono::steady_clock::now() >= deadline) {
            Log::line("Quovant is already running but does not answer");
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

SingleInstance::Lock SingleInstance::takeLock() {
    std::string path = address_->sun_path;
    path.replace(path.size() - std::strlen(".sock"), std::strlen(".sock"), ".lock");
    // The lock file sits where only the user can write, unless a test or an odd session
    // makes it otherwise: a link, a file someone else made there, or another name of one of
    // the user's files (which someone else may hold open) is not this user's lock.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info;
    std::string refusal;
    if (fd < 0 || ::fstat(fd, &info) != 0)
        refusal = errorText();
    else if (!S_ISREG(info.st_mode) || info.st_uid != ::getuid())
        refusal = "the lock file is not the user's own";
    else if (info.st_nlink != 1)
        refusal = "the lock file has other names";
    if (!refusal.empty()) {
        Log::line("starting without the single-instance lock: " + refusal);
        if (fd >= 0)
            ::close(fd);
        return Lock::unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lock_ = fd;
        return Lock::taken;
    }
    const bool held = errno == EWOULDBLOCK;
    const std::string why = errorText();
    ::close(fd);
    if (held)
        return Lock::heldByAnother;
    Log::line("starting without the single-instance lock: " + why);
    return Lock::unavailable;
}

void SingleInstance::releaseLock() {
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

void SingleInstance::listen() {
    if (!address_)
        return;
    const sockaddr_un* at = &*address_;
    // Only a socket of this user's that no one listens on any more is left over (by an
    // instance that did not end cleanly); anything else at the path is not ours to
    // remove, and the bind below says so.
    if (probe(*at, nullptr) == Probe::NobodyListens)
        ::unlink(at->sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // The socket file takes the socket's mode at bind: the owner's only.
    struct stat bound;
    if (fd < 0 || ::fchmod(fd, 0600) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(at), sizeof *at) != 0 ||
        ::lstat(at->sun_path, &bound) != 0 || ::listen(fd, 8) != 0) {
        Log::line("cannot listen for later starts: " + errorText());
        if (fd >= 0)
            ::close(fd);
        return;
    }
    listener_ = fd;
    boundDevice_ = bound.st_dev;
    boundInode_ = bound.st_ino;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { acceptWaiting(); });
}

void SingleInstance::acceptWaiting() {
    for (;;) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return;
        if (!peerIsThisUser(client)) {
            ::close(client);
            continue;
        }
        if (take_) {
            take_(client);
            continue;
        }
        const QByteArray message = readMessage(client);
        ::close(client);
        reopen_(activationIn(message));
    }
}

QByteArray SingleInstance::reopenMessage(const QByteArray& activation) {
    const QByteArray checked = activationIn("reopen " + activation + "\n");
    return checked.isEmpty() ? QByteArray("reopen\n") : "reopen " + checked + "\n";
}

QByteArray SingleInstance::activationIn(const QByteArray& message) {
    // "reopen\n" from a start without one, or from an older version.
    if (!message.startsWith("reopen ") || !message.endsWith('\n'))
        return {};
    const QByteArray activation = message.mid(7, message.size() - 8);
    if (activation.isEmpty() || activation.size() > maxActivation)
        return {};
    for (const char c : activation)
        if (c <= ' ' || c > '~')
            return {};
    return activation;
}

QByteArray SingleInstance::ownActivation() {
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : token;
}

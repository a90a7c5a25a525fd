#include "helperd/HelperServer.h"

#include "helperd/ClientPolicy.h"
#include "helperd/ProfileChecker.h"
#include "helperd/ProfileReader.h"
#include "platform/Log.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// openvpn runs its down script and tells its server goodbye when asked to stop;
// this is how long it gets before it is killed.
constexpr auto stopGrace = std::chrono::seconds(5);

} // namespace

HelperServer::HelperServer(Settings settings) : settings_(std::move(settings)) {}

std::string HelperServer::who(const Client& client) const {
    return "uid " + std::to_string(client.uid) + ", pid " + std::to_string(client.pid);
}

int HelperServer::run() {
    Log::line("helper " + settings_.version + " serving");
    for (;;) {
        if (stopping_ && !runner_.running())
            return 0;
        std::vector<pollfd> fds;
        std::vector<uint64_t> owners; // client id per entry, 0 for our own descriptors
        fds.push_back({settings_.signalFd, POLLIN, 0});
        owners.push_back(0);
        if (!stopping_) {
            fds.push_back({settings_.listenFd, POLLIN, 0});
            owners.push_back(0);
        }
        if (runner_.running()) {
            fds.push_back({runner_.exitFd(), POLLIN, 0});
            owners.push_back(0);
        }
        for (const auto& [id, client] : clients_) {
            fds.push_back({client.fd, POLLIN, 0});
            owners.push_back(id);
        }
        int timeout = -1;
        if (killDeadline_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *killDeadline_ - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            Log::line(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (killDeadline_ && std::chrono::steady_clock::now() >= *killDeadline_) {
            Log::line("openvpn did not stop in time; killing it");
            runner_.signal(SIGKILL);
            killDeadline_.reset();
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (owners[i] != 0) {
                readFrom(owners[i]);
            } else if (fds[i].fd == settings_.signalFd) {
                signalfd_siginfo info;
                [[maybe_unused]] const ssize_t n = ::read(settings_.signalFd, &info, sizeof info);
                Log::line("stopping on signal " + std::to_string(info.ssi_signo));
                stopping_ = true;
                pending_.reset();
                stopCurrent("the helper is stopping");
            } else if (fds[i].fd == settings_.listenFd) {
                accept();
            } else if (runner_.running() && fds[i].fd == runner_.exitFd()) {
                openVPNEnded();
            }
        }
    }
}

void HelperServer::accept() {
    const int fd = ::accept4(settings_.listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        ::close(fd);
        return;
    }
    if (!ClientPolicy::mayConnect(credentials.uid)) {
        Log::line("refused connection from uid " + std::to_string(credentials.uid) +
                  ": not a user the helper serves");
        ::close(fd);
        return;
    }
    if (clients_.size() >= maxClients) {
        Log::line("refused connection from uid " + std::to_string(credentials.uid) +
                  ": too many clients");
        ::close(fd);
        return;
    }
    Client client;
    client.fd = fd;
    client.uid = credentials.uid;
    client.gid = credentials.gid;
    client.pid = credentials.pid;
    clients_.emplace(nextClientId_++, std::move(client));
}

void HelperServer::readFrom(uint64_t clientId) {
    auto it = clients_.find(clientId);
    if (it == clients_.end())
        return;
    char chunk[8192];
    const ssize_t n = ::recv(it->second.fd, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        drop(clientId, "");
        return;
    }
    if (n < 0)
        return;
    it->second.lines.append(std::string_view(chunk, static_cast<size_t>(n)));
    if (it->second.lines.overflowed()) {
        drop(clientId,
             "message longer than " + std::to_string(HelperWire::maxLineBytes) + " bytes");
        return;
    }
    while (clients_.count(clientId)) {
        auto line = clients_[clientId].lines.next();
        if (!line)
            break;
        auto request = HelperWire::decodeRequest(*line);
        Client& client = clients_[clientId];
        if (!request) {
            drop(clientId, "malformed message");
            return;
        }
        if (request->id <= client.lastId) {
            drop(clientId, "request id out of order");
            return;
        }
        client.lastId = request->id;
        handle(clientId, *request);
    }
}

void HelperServer::drop(uint64_t clientId, const std::string& why) {
    auto it = clients_.find(clientId);
    if (it == clients_.end())
        return;
    if (!why.empty())
        Log::line("closing connection of " + who(it->second) + ": " + why);
    ::close(it->second.fd);
    clients_.erase(it);
    if (pending_ && pending_->owner.client == clientId)
        pending_.reset();
    if (current_ && current_->client == clientId)
        stopCurrent("the client that started it went away");
}

void HelperServer::handle(uint64_t clientId, const HelperRequest& request) {
    const Client& client = clients_[clientId];
    Log::line(std::string("request ") + HelperWire::operationName(request.operation) + " from " +
              who(client));
    switch (request.operation) {
    case HelperRequest::Operation::getVersion: {
        HelperReply reply;
        reply.id = request.id;
        reply.kind = HelperReply::Kind::version;
        reply.version = settings_.version;
        send(clientId, reply);
        break;
    }
    case HelperRequest::Operation::killOpenVPN:
        if (!current_)
            break;
        if (!ClientPolicy::mayControl(client.uid, current_->uid)) {
            Log::line("refused killOpenVPN from " + who(client) + ": openvpn belongs to uid " +
                      std::to_string(current_->uid));
            break;
        }
        stopCurrent("killOpenVPN");
        break;
    case HelperRequest::Operation::runOpenVPN:
        handleRun(clientId, request);
        break;
    }
}

void HelperServer::handleRun(uint64_t clientId, const HelperRequest& request) {
    const Client& client = clients_[clientId];
    const Owner owner{clientId, request.id, client.uid};
    auto refuse = [&](const std::string& why) {
        Log::line("refused runOpenVPN from " + who(client) + ": " + why);
        reply(owner, refusedStatus);
    };

    std::string why;
    const std::string up = settings_.scriptDir + "/client.up";
    const std::string down = settings_.scriptDir + "/client.down";
    if (request.clientUp != up || request.clientDown != down)
        return refuse("scripts are not the ones installed beside the helper");
    if (!trustedScript(up, why) || !trustedScript(down, why))
        return refuse(why);

    const ProfileFile file = ProfileReader::read(request.config, client.uid, client.gid,
                                                 ProfileChecker::maxProfileBytes);
    if (!file.text)
        return refuse(file.refusal);
    const ProfileVerdict verdict = ProfileChecker::check(*file.text);
    if (!verdict.accepted)
        return refuse("profile " + verdict.describe());

    if (current_ && !ClientPolicy::mayControl(client.uid, current_->uid))
        return refuse("an openvpn of uid " + std::to_string(current_->uid) + " is running");

    PendingRun run{owner, {*file.text, up, down}};
    if (!current_) {
        startRun(std::move(run));
        return;
    }
    // One openvpn at a time: the running one ends first, then this one starts.
    if (pending_)
        reply(pending_->owner, refusedStatus);
    pending_ = std::move(run);
    stopCurrent("a new run was requested");
}

void HelperServer::startRun(PendingRun run) {
    std::string error;
    if (!runner_.start(run.launch, error)) {
        Log::line("cannot start openvpn: " + error);
        reply(run.owner, refusedStatus);
        return;
    }
    current_ = run.owner;
    Log::line("openvpn started, pid " + std::to_string(runner_.pid()) + ", for uid " +
              std::to_string(run.owner.uid));
}

void HelperServer::stopCurrent(const std::string& why) {
    if (!runner_.running() || killDeadline_)
        return;
    Log::line("stopping openvpn: " + why);
    runner_.signal(SIGTERM);
    killDeadline_ = std::chrono::steady_clock::now() + stopGrace;
}

void HelperServer::openVPNEnded() {
    const auto status = runner_.reap();
    if (!status)
        return;
    killDeadline_.reset();
    Log::line("openvpn ended with status " + std::to_string(*status));
    if (current_)
        reply(*current_, *status);
    current_.reset();
    if (pending_ && !stopping_) {
        PendingRun next = std::move(*pending_);
        pending_.reset();
        startRun(std::move(next));
    }
}

void HelperServer::reply(const Owner& owner, int32_t status) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::terminated;
    reply.status = status;
    send(owner.client, reply);
}

void HelperServer::send(uint64_t clientId, const HelperReply& reply) {
    auto it = clients_.find(clientId);
    if (it == clients_.end())
        return;
    const std::string line = HelperWire::encode(reply);
    // Replies are small; a client that lets its socket fill up is not reading.
    if (::send(it->second.fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
        static_cast<ssize_t>(line.size()))
        drop(clientId, "cannot deliver a reply");
}

bool HelperServer::trustedScript(const std::string& path, std::string& why) const {
    // openvpn runs these as root: they and their directory must be root's alone.
    struct stat file, dir;
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
        why = path + " is missing or not a regular file";
        return false;
    }
    if (::stat(settings_.scriptDir.c_str(), &dir) != 0 || dir.st_uid != 0 ||
        (dir.st_mode & (S_IWGRP | S_IWOTH)) || file.st_uid != 0 ||
        (file.st_mode & (S_IWGRP | S_IWOTH))) {
        why = path + " or its directory may be changed by someone other than root";
        return false;
    }
    return true;
}

#include "helperd/HelperServer.h"

#include "helper/HelperPaths.h"
#include "helperd/ClientPolicy.h"
#include "helperd/ManagementPort.h"
#include "helperd/ProfileChecker.h"
#include "helperd/ProfileReader.h"
#include "helperd/TunnelDevice.h"
#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// openvpn runs its down script and tells its server goodbye when asked to stop;
// this is how long it gets before it is killed.
constexpr auto stopGrace = std::chrono::seconds(5);

using Clock = std::chrono::steady_clock;

constexpr const char* replacedReason = "A newer connection request replaced this one.";

// A fresh secret per run, for the management interface of that run alone.
std::optional<std::string> makeManagementPassword() {
    unsigned char bytes[16];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        return std::nullopt;
    static constexpr char hex[] = "0123456789abcdef";
    std::string password;
    for (unsigned char b : bytes) {
        password += hex[b >> 4];
        password += hex[b & 0xF];
    }
    return password;
}

int millisecondsUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

} // namespace

HelperServer::HelperServer(Settings settings) : settings_(std::move(settings)) {}

std::string HelperServer::who(const Client& client) const {
    return "uid " + std::to_string(client.uid) + ", pid " + std::to_string(client.pid);
}

int HelperServer::run() {
    Log::line("helper " + settings_.version + " serving");
    for (;;) {
        if (stopping_ && !runner_.running()) {
            releaseBlock("the helper is stopping");
            return 0;
        }
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
        if (resolver_.running()) {
            fds.push_back({resolver_.fd(), POLLIN, 0});
            owners.push_back(0);
        }
        for (const auto& [id, client] : clients_) {
            fds.push_back({client.fd, POLLIN, 0});
            owners.push_back(id);
        }
        const int ready = ::poll(fds.data(), fds.size(), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            Log::line(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (killDeadline_ && Clock::now() >= *killDeadline_) {
            Log::line("openvpn did not stop in time; killing it");
            runner_.signal(SIGKILL);
            killDeadline_.reset();
        }
        if (resolving_ && Clock::now() >= resolver_.deadline()) {
            Log::line("server name look-up ran out of time");
            resolved(resolver_.stop());
        }
        checkReady();
        closeStalledClients();
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
                if (pending_)
                    reply(pending_->owner, refusedStatus, HelperProtocol::helperStoppingReason);
                pending_.reset();
                cancelResolving(refusedStatus, HelperProtocol::helperStoppingReason,
                                "the helper is stopping");
                if (current_) {
                    current_->endReason = HelperProtocol::helperStoppedReason;
                    current_->releaseAtEnd = true;
                }
                stopCurrent("the helper is stopping");
            } else if (fds[i].fd == settings_.listenFd) {
                accept();
            } else if (runner_.running() && fds[i].fd == runner_.exitFd()) {
                openVPNEnded();
            } else if (resolving_ && fds[i].fd == resolver_.fd()) {
                if (auto addresses = resolver_.read())
                    resolved(std::move(*addresses));
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
    const auto sameUser = std::count_if(clients_.begin(), clients_.end(), [&](const auto& entry) {
        return entry.second.uid == credentials.uid;
    });
    std::string busy;
    if (credentials.uid != 0 && static_cast<size_t>(sameUser) >= maxClientsPerUser)
        busy = "too many connections from this user";
    else if (credentials.uid != 0 && clients_.size() >= maxClients)
        busy = "too many connections";
    if (!busy.empty()) {
        Log::line("refused connection from uid " + std::to_string(credentials.uid) + ": " + busy);
        const std::string notice = HelperWire::encodeBusy(busy);
        [[maybe_unused]] const ssize_t n =
            ::send(fd, notice.data(), notice.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    Client client;
    client.fd = fd;
    client.uid = credentials.uid;
    client.gid = credentials.gid;
    client.pid = credentials.pid;
    client.owesSince = Clock::now();
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
        client.owesSince.reset();
        handle(clientId, *request);
    }
    auto still = clients_.find(clientId);
    if (still != clients_.end() && still->second.lines.holdsPartialLine() &&
        !still->second.owesSince)
        still->second.owesSince = Clock::now();
}

void HelperServer::closeStalledClients() {
    const auto now = Clock::now();
    std::vector<uint64_t> stalled;
    for (const auto& [id, client] : clients_)
        if (client.owesSince && now - *client.owesSince >= requestTimeout)
            stalled.push_back(id);
    for (uint64_t id : stalled)
        drop(id, "no complete request in " + std::to_string(requestTimeout.count()) + " s");
}

int HelperServer::pollTimeout() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](Clock::time_point when) {
        if (!next || when < *next)
            next = when;
    };
    if (killDeadline_)
        consider(*killDeadline_);
    if (resolving_)
        consider(resolver_.deadline());
    if (current_ && !current_->started && runner_.running())
        consider(Clock::now() + readyPoll);
    for (const auto& [id, client] : clients_)
        if (client.owesSince)
            consider(*client.owesSince + requestTimeout);
    return next ? millisecondsUntil(*next) : -1;
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
    if (resolving_ && resolving_->owner.client == clientId)
        cancelResolving(refusedStatus, {}, "the client that asked went away");
    if (current_ && current_->owner.client == clientId) {
        current_->releaseAtEnd = true;
        stopCurrent("the client that started it went away");
    } else if (!current_ && blockOwner_ && blockOwner_->client == clientId) {
        releaseBlock("the client it blocks for went away");
    }
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
        if (resolving_ && ClientPolicy::mayControl(client.uid, resolving_->owner.uid))
            cancelResolving(refusedStatus, "The connection was ended before it started.",
                            "killOpenVPN");
        if (!current_)
            break;
        if (!ClientPolicy::mayControl(client.uid, current_->owner.uid)) {
            Log::line("refused killOpenVPN from " + who(client) + ": openvpn belongs to uid " +
                      std::to_string(current_->owner.uid));
            break;
        }
        // An end the application chose for a run its user still wants (a drop with
        // automatic reconnecting off, a management interface it lost) is no end the user
        // asked for: the block stays until they choose. Once asked, the release stands.
        if (!request.keepBlock)
            current_->releaseAtEnd = true;
        stopCurrent(request.keepBlock ? "killOpenVPN, keeping the block" : "killOpenVPN");
        break;
    case HelperRequest::Operation::releaseBlock:
        handleReleaseBlock(clientId);
        break;
    case HelperRequest::Operation::runOpenVPN:
        handleRun(clientId, request);
        break;
    }
}

void HelperServer::handleRun(uint64_t clientId, const HelperRequest& request) {
    const Client& client = clients_[clientId];
    const Owner owner{clientId, request.id, client.uid};
    // `why` goes to the log, `reason` to the client, which shows it to its user.
    auto refuse = [&](const std::string& why, const std::string& reason) {
        Log::line("refused runOpenVPN from " + who(client) + ": " + why);
        reply(owner, refusedStatus, reason);
    };

    const std::string up = settings_.scriptDir + "/" + HelperPaths::upScript;
    const std::string down = settings_.scriptDir + "/" + HelperPaths::downScript;
    if (request.clientUp != up || request.clientDown != down)
        return refuse("scripts are not the ones installed beside the helper",
                      "The VPN scripts are not the ones installed with the VPN helper.");
    for (const std::string& script : {up, down})
        if (const Result<void> trusted = trustedScript(script); !trusted)
            return refuse(trusted.why(),
                          "The VPN helper's scripts may be changed by someone other than root.");

    const Result<std::string> profile = ProfileReader::read(request.config, client.uid, client.gid,
                                                            ProfileChecker::maxProfileBytes);
    if (!profile)
        return refuse(profile.why(), "The VPN profile could not be used: " + profile.why() + ".");
    const ProfileVerdict verdict = ProfileChecker::check(profile.value());
    if (!verdict)
        return refuse("profile " + verdict.why().describe(),
                      "The VPN profile was refused (" + verdict.why().describe() + ").");

    if (current_ && !ClientPolicy::mayControl(client.uid, current_->owner.uid))
        return refuse("an openvpn of uid " + std::to_string(current_->owner.uid) + " is running",
                      "Another user's VPN connection is running on this computer.");

    if (resolving_ && !ClientPolicy::mayControl(client.uid, resolving_->owner.uid))
        return refuse("a run of uid " + std::to_string(resolving_->owner.uid) + " is starting",
                      "Another user's VPN connection is running on this computer.");

    // A block that outlived its run protects that run's user until they choose: a run of
    // anyone else would take it over (or, unguarded, end it), and could then release it.
    if (blockOwner_ && !ClientPolicy::mayControl(client.uid, blockOwner_->uid))
        return refuse("traffic outside the tunnel is blocked for uid " +
                          std::to_string(blockOwner_->uid),
                      "Another user's VPN connection dropped and still blocks traffic outside "
                      "the VPN on this computer.");

    PendingRun run{owner, {}, request.blockLeaks, request.allowLocalNetwork};
    run.launch.profile = profile.value();
    run.launch.upScript = up;
    run.launch.downScript = down;
    cancelResolving(refusedStatus, replacedReason, "a new run was requested");
    if (!clients_.count(clientId))
        return;
    if (run.blockLeaks && !resolveRemotes(run, client))
        return;
    if (!resolving_)
        proceed(std::move(run));
}

bool HelperServer::resolveRemotes(PendingRun& run, const Client& client) {
    auto names = NumericRemotes::hostNames(run.launch.profile);
    if (names.empty())
        return true;
    if (blockOwner_) {
        // No query can leave while the block holds; the names looked up when it began
        // still stand for the servers the user was connected to.
        const bool known = blockAddressesUid_ == client.uid &&
                           std::all_of(names.begin(), names.end(), [&](const std::string& name) {
                               return blockAddresses_.count(name) > 0;
                           });
        if (known && useAddresses(run, blockAddresses_))
            return true;
        if (!known) {
            Log::line("refused runOpenVPN from " + who(client) +
                      ": its server names cannot be looked up while the block holds");
            reply(run.owner, refusedStatus,
                  "The VPN server's name cannot be looked up while traffic outside the VPN is "
                  "blocked. Disconnect, then connect again.");
        }
        return false;
    }
    if (const Result<void> started = resolver_.start(std::move(names)); !started) {
        Log::line("refused runOpenVPN from " + who(client) + ": " + started.why());
        reply(run.owner, refusedStatus, "The VPN server's name could not be looked up.");
        return false;
    }
    Log::line("looking up the server names of the run of " + who(client));
    resolving_ = std::move(run);
    return true;
}

void HelperServer::resolved(NumericRemotes::Addresses addresses) {
    PendingRun run = std::move(*resolving_);
    resolving_.reset();
    blockAddresses_ = addresses;
    blockAddressesUid_ = run.owner.uid;
    if (useAddresses(run, addresses))
        proceed(std::move(run));
}

bool HelperServer::useAddresses(PendingRun& run, const NumericRemotes::Addresses& addresses) {
    const auto profile = NumericRemotes::rewrite(run.launch.profile, addresses);
    // What openvpn gets passes the same allowlist as what the user handed in.
    if (!profile || !ProfileChecker::check(*profile)) {
        Log::line("refused runOpenVPN of uid " + std::to_string(run.owner.uid) +
                  ": no address found for its servers");
        reply(run.owner, refusedStatus, "The VPN server's address could not be looked up.");
        return false;
    }
    run.launch.profile = *profile;
    return true;
}

void HelperServer::proceed(PendingRun run) {
    if (!current_) {
        startRun(std::move(run));
        return;
    }
    // One openvpn at a time: the running one ends first, then this one starts.
    if (pending_)
        reply(pending_->owner, refusedStatus, replacedReason);
    pending_ = std::move(run);
    current_->endReason = replacedReason;
    stopCurrent("a new run was requested");
}

void HelperServer::cancelResolving(int32_t status, const std::string& reason,
                                   const std::string& why) {
    if (!resolving_)
        return;
    resolver_.cancel();
    Log::line("no longer looking up server names: " + why);
    const Owner owner = resolving_->owner;
    resolving_.reset();
    reply(owner, status, reason);
}

void HelperServer::startRun(PendingRun run) {
    // openvpn could not bind the port, or, worse, a client could reach whoever holds it.
    const auto holders = ManagementPort::listeners(settings_.managementPort);
    if (!holders.empty()) {
        Log::line("refused runOpenVPN: 127.0.0.1:" + std::to_string(settings_.managementPort) +
                  " is held by uid " + std::to_string(holders.front().uid));
        reply(run.owner, refusedStatus,
              "The VPN's control port 127.0.0.1:" + std::to_string(settings_.managementPort) +
                  " is held by another program.");
        return;
    }
    const auto password = makeManagementPassword();
    run.launch.managementPassword = password.value_or("");
    if (run.blockLeaks) {
        // The guard lets exactly this tunnel through, so the daemon names it before
        // openvpn opens it, and marks openvpn's own transport.
        run.launch.transportMark = LeakGuard::transportMark;
        run.launch.tunnelType = TunnelDevice::typeOf(run.launch.profile);
        const auto tunnel = TunnelDevice::freeName(run.launch.tunnelType);
        if (!tunnel) {
            Log::line("refused runOpenVPN: no free " + run.launch.tunnelType + " interface name");
            reply(run.owner, refusedStatus, "No tunnel interface is free on this computer.");
            return;
        }
        run.launch.tunnelName = *tunnel;
        if (!guardRun(run.owner, *tunnel, run.allowLocalNetwork)) {
            reply(run.owner, refusedStatus,
                  "The block of traffic outside the VPN could not be changed to keep the local "
                  "network out.");
            return;
        }
    } else {
        // A run that does not block leaks ends any block an earlier run left.
        releaseBlock("a run without a block started");
    }
    const Result<void> started =
        password ? runner_.start(run.launch)
                 : Result<void>::failure("no random numbers for the management password");
    if (!started) {
        Log::line("cannot start openvpn: " + started.why());
        reply(run.owner, refusedStatus, "openvpn could not be started: " + started.why() + ".");
        return;
    }
    current_ = CurrentRun{run.owner, *password, false, Clock::now() + readyTimeout, {}};
    Log::line("openvpn started, pid " + std::to_string(runner_.pid()) + ", for uid " +
              std::to_string(run.owner.uid));
    checkReady();
}

void HelperServer::checkReady() {
    if (!current_ || current_->started || !runner_.running() || killDeadline_)
        return;
    if (ManagementPort::listensFor(runner_.pid(), settings_.managementPort)) {
        current_->started = true;
        HelperReply started;
        started.id = current_->owner.requestId;
        started.kind = HelperReply::Kind::started;
        started.managementPassword = current_->managementPassword;
        send(current_->owner.client, started);
        return;
    }
    if (Clock::now() >= current_->readyDeadline) {
        current_->endReason = "openvpn did not open its management interface in time.";
        stopCurrent("its management interface did not open in time");
    }
}

void HelperServer::stopCurrent(const std::string& why) {
    if (!runner_.running() || killDeadline_)
        return;
    Log::line("stopping openvpn: " + why);
    runner_.signal(SIGTERM);
    killDeadline_ = std::chrono::steady_clock::now() + stopGrace;
}

void HelperServer::handleReleaseBlock(uint64_t clientId) {
    const Client& client = clients_[clientId];
    if (!blockOwner_)
        return;
    if (!ClientPolicy::mayControl(client.uid, blockOwner_->uid)) {
        Log::line("refused releaseBlock from " + who(client) + ": the block belongs to uid " +
                  std::to_string(blockOwner_->uid));
        return;
    }
    // A running openvpn keeps its block: ending the run (killOpenVPN) releases both.
    if (current_) {
        Log::line("ignored releaseBlock from " + who(client) + ": its run goes on");
        return;
    }
    releaseBlock("released by " + who(client));
}

bool HelperServer::guardRun(const Owner& owner, const std::string& tunnel, bool allowLocalNetwork) {
    if (!settings_.guard)
        return true;
    if (const Result<void> engaged = settings_.guard->engage(); !engaged) {
        // Without nftables the VPN still works; it just cannot block leaks.
        Log::line("cannot block traffic outside the tunnel: " + engaged.why());
        return true;
    }
    blockOwner_ = owner;
    if (const Result<void> allowed = settings_.guard->allowTunnel(tunnel); !allowed)
        Log::line("cannot let traffic through the tunnel " + tunnel + ": " + allowed.why());
    if (const Result<void> allowed = settings_.guard->allowLocalNetwork(allowLocalNetwork);
        !allowed) {
        Log::line("cannot change what the block lets through to the local network: " +
                  allowed.why());
        // A run that would go on with the local network open although its user did not
        // allow it is refused; the block itself holds.
        if (!allowLocalNetwork) {
            Log::line("refused runOpenVPN of uid " + std::to_string(owner.uid) +
                      ": the local network could not be shut out");
            return false;
        }
    }
    Log::line("blocking traffic outside the tunnel " + tunnel + " for uid " +
              std::to_string(owner.uid) + (allowLocalNetwork ? ", the local network allowed" : ""));
    return true;
}

void HelperServer::releaseBlock(const std::string& why) {
    if (!blockOwner_)
        return;
    blockOwner_.reset();
    blockAddresses_.clear();
    if (!settings_.guard)
        return;
    settings_.guard->release();
    Log::line("no longer blocking traffic outside the tunnel: " + why);
}

void HelperServer::openVPNEnded() {
    const auto status = runner_.reap();
    if (!status)
        return;
    killDeadline_.reset();
    Log::line("openvpn ended with status " + std::to_string(*status));
    const bool release = current_ && current_->releaseAtEnd;
    const std::optional<CurrentRun> ended = std::move(current_);
    current_.reset();
    if (settings_.guard)
        settings_.guard->closeTunnel();
    if (release && !pending_)
        releaseBlock("its run was ended on request");
    else if (blockOwner_ && !pending_)
        Log::line("still blocking traffic outside the tunnel for uid " +
                  std::to_string(blockOwner_->uid) + " until released");
    // After the block's fate is known: the reply says whether it outlives the run.
    if (ended)
        reply(ended->owner, *status, ended->endReason);
    if (pending_ && !stopping_) {
        PendingRun next = std::move(*pending_);
        pending_.reset();
        startRun(std::move(next));
    }
}

void HelperServer::reply(const Owner& owner, int32_t status, const std::string& reason) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::terminated;
    reply.status = status;
    reply.reason = reason;
    reply.blocking = blocksFor(owner);
    send(owner.client, reply);
}

bool HelperServer::blocksFor(const Owner& owner) const {
    return blockOwner_ && blockOwner_->client == owner.client && !current_ && !pending_ &&
           settings_.guard && settings_.guard->engaged();
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

Result<void> HelperServer::trustedScript(const std::string& path) const {
    // openvpn runs these as root: they and their directory must be root's alone.
    struct stat file, dir;
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return Result<void>::failure(path + " is missing or not a regular file");
    if (::stat(settings_.scriptDir.c_str(), &dir) != 0 || dir.st_uid != 0 ||
        (dir.st_mode & (S_IWGRP | S_IWOTH)) || file.st_uid != 0 ||
        (file.st_mode & (S_IWGRP | S_IWOTH)))
        return Result<void>::failure(path +
                                     " or its directory may be changed by someone other than root");
    return Result<void>::success();
}

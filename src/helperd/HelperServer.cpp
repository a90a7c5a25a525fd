#include "helperd/HelperServer.h"

#include "helper/HelperPaths.h"
#include "helperd/ClientPolicy.h"
#include "helperd/DaemonLog.h"
#include "helperd/ManagementPort.h"
#include "helperd/ProfileChecker.h"
#include "helperd/ProfileReader.h"
#include "helperd/RunAdmission.h"
#include "helperd/TunnelDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// openvpn's word that its management interface is open; the daemon then checks once
// that the listening socket is openvpn's own.
constexpr std::string_view listeningLine = "MANAGEMENT: TCP Socket listening on";

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

int millisecondsUntil(std::chrono::steady_clock::time_point when) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 24 * 3600 * 1000));
}

// The account openvpn continues as, if the machine has it.
std::optional<passwd> openVPNAccount() {
    passwd entry{};
    passwd* found = nullptr;
    static char buffer[4096];
    if (::getpwnam_r(HelperPaths::openVPNAccount, &entry, buffer, sizeof buffer, &found) != 0 ||
        !found || found->pw_uid == 0)
        return std::nullopt;
    return entry;
}

// A file root alone may change, as what openvpn loads as root must be.
bool rootsAlone(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 &&
           !(st.st_mode & (S_IWGRP | S_IWOTH));
}

} // namespace

HelperServer::HelperServer(Settings settings) : settings_(std::move(settings)) {}

int HelperServer::run() {
    DaemonLog::line("helper " + settings_.version + " serving");
    for (;;) {
        if (supervisor_.finished())
            return 0;
        std::vector<pollfd> fds;
        std::vector<uint64_t> owners; // client id per entry, 0 for our own descriptors
        auto watch = [&](int fd, uint64_t owner) {
            fds.push_back({fd, POLLIN, 0});
            owners.push_back(owner);
        };
        watch(settings_.signalFd, 0);
        if (!supervisor_.stopRequested())
            watch(settings_.listenFd, 0);
        if (runner_.running())
            watch(runner_.exitFd(), 0);
        if (runner_.outputFd() >= 0)
            watch(runner_.outputFd(), 0);
        if (resolver_.running())
            watch(resolver_.fd(), 0);
        // A connection whose last request waits for its turn is not read from: what it
        // sends meanwhile waits in its socket.
        for (uint64_t id : clients_.ids())
            if (!clients_.holdsLine(id))
                watch(clients_.fd(id), id);
        const int ready = ::poll(fds.data(), fds.size(), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            DaemonLog::line(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        dispatch(RunSupervisor::Tick{});
        DaemonLog::flush();
        for (uint64_t id : clients_.stalled(Clock::now(), requestTimeout))
            closeLater(id,
                       "no complete request in " + std::to_string(requestTimeout.count()) + " s");
        closeDoomed();
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (owners[i] != 0) {
                readFrom(owners[i]);
            } else if (fds[i].fd == settings_.signalFd) {
                signalfd_siginfo info;
                [[maybe_unused]] const ssize_t n = ::read(settings_.signalFd, &info, sizeof info);
                DaemonLog::line("stopping on signal " + std::to_string(info.ssi_signo));
                dispatch(RunSupervisor::Stop{});
            } else if (fds[i].fd == settings_.listenFd) {
                accept();
            } else if (fds[i].fd == runner_.outputFd()) {
                openVPNSaid();
            } else if (runner_.running() && fds[i].fd == runner_.exitFd()) {
                openVPNEnded();
            } else if (resolver_.running() && fds[i].fd == resolver_.fd()) {
                if (auto addresses = resolver_.read())
                    dispatch(RunSupervisor::LookedUp{std::move(*addresses)});
            }
            closeDoomed();
        }
        serveTurn();
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
        DaemonLog::line("refused connection from uid " + std::to_string(credentials.uid) +
                        ": not a user the helper serves");
        ::close(fd);
        return;
    }
    if (const auto busy = clients_.busy(credentials.uid)) {
        DaemonLog::line("refused connection from uid " + std::to_string(credentials.uid) + ": " +
                        *busy);
        const std::string notice = HelperWire::encodeBusy(*busy);
        [[maybe_unused]] const ssize_t n =
            ::send(fd, notice.data(), notice.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    clients_.add(fd, credentials.uid, credentials.gid, credentials.pid, Clock::now());
}

void HelperServer::readFrom(uint64_t clientId) {
    const int fd = clients_.fd(clientId);
    if (fd < 0)
        return;
    char chunk[8192];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        return closeLater(clientId, "");
    if (n < 0)
        return;
    if (clients_.append(clientId, std::string_view(chunk, static_cast<size_t>(n))) ==
        ClientTable::Received::overflowed)
        return closeLater(clientId, "message longer than " +
                                        std::to_string(HelperWire::maxLineBytes) + " bytes");
    clients_.noteUnfinished(clientId, Clock::now());
}

void HelperServer::serveTurn() {
    for (uint64_t id : clients_.nextTurn()) {
        const auto line = clients_.nextLine(id);
        const auto caller = clients_.caller(id);
        if (!line || !caller)
            continue;
        const auto request = HelperWire::decodeRequest(*line);
        if (!request)
            closeLater(id, "malformed message");
        else if (!clients_.accept(id, request->id))
            closeLater(id, "request id out of order");
        else
            handle(*caller, *request);
        closeDoomed();
        clients_.noteUnfinished(id, Clock::now());
    }
}

void HelperServer::handle(const ClientTable::Caller& caller, const HelperRequest& request) {
    DaemonLog::line(std::string("request ") + HelperWire::operationName(request.operation) +
                    " from " + caller.describe());
    switch (request.operation) {
    case HelperRequest::Operation::getVersion: {
        HelperReply reply;
        reply.id = request.id;
        reply.kind = HelperReply::Kind::version;
        reply.version = settings_.version;
        send(caller.id, reply);
        break;
    }
    case HelperRequest::Operation::killOpenVPN:
        dispatch(RunSupervisor::Kill{caller.uid, request.keepBlock});
        break;
    case HelperRequest::Operation::releaseBlock:
        dispatch(RunSupervisor::Release{caller.uid});
        break;
    case HelperRequest::Operation::runOpenVPN:
        handleRun(caller, request);
        break;
    }
}

void HelperServer::handleRun(const ClientTable::Caller& caller, const HelperRequest& request) {
    RunAdmission::Facts facts;
    facts.upScript = settings_.scriptDir + "/" + HelperPaths::upScript;
    facts.downScript = settings_.scriptDir + "/" + HelperPaths::downScript;
    facts.scriptsTrusted = trustedScript(facts.upScript);
    if (facts.scriptsTrusted)
        facts.scriptsTrusted = trustedScript(facts.downScript);
    // Only a request that names the installed scripts gets its profile read.
    if (request.clientUp == facts.upScript && request.clientDown == facts.downScript &&
        facts.scriptsTrusted)
        facts.profile = ProfileReader::read(request.config, caller.uid, caller.gid,
                                            ProfileChecker::maxProfileBytes);
    facts.runUid = supervisor_.runUid();
    facts.blockUid = supervisor_.blockUid();
    auto decision = RunAdmission::decide(request, caller, facts);
    if (auto* refusal = std::get_if<RunAdmission::Refusal>(&decision)) {
        DaemonLog::line("refused runOpenVPN from " + caller.describe() + ": " + refusal->why);
        return ended({caller.id, request.id, caller.uid}, refusedStatus, refusal->reason,
                     supervisor_.blocksFor(caller.id));
    }
    dispatch(RunSupervisor::Admitted{std::move(std::get<RunSupervisor::Run>(decision))});
}

void HelperServer::openVPNSaid() {
    for (const std::string& line : runner_.readOutput()) {
        DaemonLog::line("openvpn: " + line);
        if (listening_ || supervisor_.phase() != RunSupervisor::Phase::starting ||
            line.find(listeningLine) == std::string::npos)
            continue;
        listening_ = true;
        // openvpn's own word, checked against the kernel's tables once: the interface
        // its client is sent to must be openvpn's, not something else on the port.
        if (ManagementPort::listensFor(runner_.pid(), settings_.managementPort))
            dispatch(RunSupervisor::Listening{});
        else
            DaemonLog::line("openvpn said its management interface listens, but it holds no "
                            "socket listening on port " +
                            std::to_string(settings_.managementPort));
    }
}

void HelperServer::openVPNEnded() {
    // What openvpn wrote last is logged before its end.
    while (runner_.outputFd() >= 0) {
        const auto lines = runner_.readOutput();
        if (lines.empty())
            break;
        for (const std::string& line : lines)
            DaemonLog::line("openvpn: " + line);
    }
    const auto status = runner_.reap();
    if (status)
        dispatch(RunSupervisor::Exited{*status});
}

void HelperServer::dispatch(RunSupervisor::Event event) {
    supervisor_.handle(std::move(event), Clock::now());
}

void HelperServer::closeLater(uint64_t clientId, const std::string& why) {
    if (std::none_of(doomed_.begin(), doomed_.end(),
                     [&](const auto& entry) { return entry.first == clientId; }))
        doomed_.emplace_back(clientId, why);
}

void HelperServer::closeDoomed() {
    while (!doomed_.empty()) {
        const auto [id, why] = doomed_.front();
        doomed_.erase(doomed_.begin());
        const auto caller = clients_.caller(id);
        if (!caller || !clients_.remove(id))
            continue;
        if (!why.empty())
            DaemonLog::line("closing connection of " + caller->describe() + ": " + why);
        dispatch(RunSupervisor::ClientGone{id});
    }
}

int HelperServer::pollTimeout() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](std::optional<Clock::time_point> when) {
        if (when && (!next || *when < *next))
            next = when;
    };
    consider(supervisor_.deadline());
    consider(clients_.nextStall(requestTimeout));
    consider(DaemonLog::nextFlush());
    for (uint64_t id : clients_.ids())
        if (clients_.holdsLine(id))
            return 0;
    return next ? millisecondsUntil(*next) : -1;
}

void HelperServer::send(uint64_t clientId, const HelperReply& reply) {
    const int fd = clients_.fd(clientId);
    if (fd < 0)
        return;
    const std::string line = HelperWire::encode(reply);
    // Replies are small; a client that lets its socket fill up is not reading.
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
        static_cast<ssize_t>(line.size()))
        closeLater(clientId, "cannot deliver a reply");
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

Result<void> HelperServer::startLookup(const std::vector<std::string>& names) {
    return resolver_.start(names);
}

NumericRemotes::Addresses HelperServer::stopLookup() {
    return resolver_.running() ? resolver_.stop() : NumericRemotes::Addresses{};
}

std::optional<std::string> HelperServer::freeTunnel(const std::string& type) {
    return TunnelDevice::freeName(type);
}

RunSupervisor::Blocked HelperServer::block(const std::string& tunnel, bool allowLocalNetwork) {
    if (!settings_.guard)
        return RunSupervisor::Blocked::unavailable;
    const auto account = openVPNAccount();
    openVPNUid_ = account ? std::optional<uint32_t>(account->pw_uid) : std::nullopt;
    if (const Result<void> engaged = settings_.guard->engage(openVPNUid_); !engaged) {
        // Without nftables the VPN still works; it just cannot block leaks.
        DaemonLog::line("cannot block traffic outside the tunnel: " + engaged.why());
        return RunSupervisor::Blocked::unavailable;
    }
    if (const Result<void> allowed = settings_.guard->allowTunnel(tunnel); !allowed)
        DaemonLog::line("cannot let traffic through the tunnel " + tunnel + ": " + allowed.why());
    if (const Result<void> allowed = settings_.guard->allowLocalNetwork(allowLocalNetwork);
        !allowed) {
        DaemonLog::line("cannot change what the block lets through to the local network: " +
                        allowed.why());
        // A run that would go on with the local network open although its user did not
        // allow it is refused; the block itself holds.
        if (!allowLocalNetwork)
            return RunSupervisor::Blocked::refused;
    }
    return RunSupervisor::Blocked::yes;
}

void HelperServer::closeTunnel() {
    if (settings_.guard)
        settings_.guard->closeTunnel();
}

void HelperServer::unblock() {
    if (settings_.guard)
        settings_.guard->release();
}

Result<void> HelperServer::startOpenVPN(OpenVPNRunner::Launch& launch) {
    // openvpn could not bind the port, or, worse, a client could reach whoever holds it.
    const auto holders = ManagementPort::listeners(settings_.managementPort);
    if (!holders.empty()) {
        DaemonLog::line("127.0.0.1:" + std::to_string(settings_.managementPort) +
                        " is held by uid " + std::to_string(holders.front().uid));
        return Result<void>::failure(
            "The VPN's control port 127.0.0.1:" + std::to_string(settings_.managementPort) +
            " is held by another program.");
    }
    const auto password = makeManagementPassword();
    if (!password)
        return Result<void>::failure(
            "openvpn could not be started: no random numbers for the management password.");
    launch.managementPassword = *password;
    launch.tmpDir = settings_.tmpDir;
    if (!launch.tunnelName.empty())
        launch.transportMark = LeakGuard::transportMark;
    const auto account = openVPNAccount();
    launch.account.clear();
    if (!account)
        DaemonLog::line(std::string("no account ") + HelperPaths::openVPNAccount +
                        ": openvpn runs as root");
    else if (!rootsAlone(OpenVPNRunner::downRootPlugin))
        DaemonLog::line(std::string(OpenVPNRunner::downRootPlugin) +
                        " is missing or not root's alone: openvpn runs as root");
    else
        launch.account = account->pw_name;
    listening_ = false;
    if (const Result<void> started = runner_.start(launch); !started) {
        DaemonLog::line("cannot start openvpn: " + started.why());
        return Result<void>::failure("openvpn could not be started: " + started.why() + ".");
    }
    DaemonLog::line("openvpn started, pid " + std::to_string(runner_.pid()) +
                    (launch.account.empty()
                         ? ", as root"
                         : ", leaving root for " + launch.account + " once its tunnel is open"));
    return Result<void>::success();
}

void HelperServer::signalOpenVPN(int signalNumber) {
    runner_.signal(signalNumber);
}

void HelperServer::started(const RunSupervisor::Owner& owner, const std::string& password) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::started;
    reply.managementPassword = password;
    send(owner.client, reply);
}

void HelperServer::ended(const RunSupervisor::Owner& owner, int32_t status,
                         const std::string& reason, bool blocking) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::terminated;
    reply.status = status;
    reply.reason = reason;
    reply.blocking = blocking;
    send(owner.client, reply);
}

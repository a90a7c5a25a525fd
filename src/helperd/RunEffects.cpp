#include "helperd/RunEffects.h"

#include "helperd/DaemonLog.h"
#include "helperd/TunnelDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// openvpn's word that its management interface is open.
constexpr std::string_view listeningLine = "MANAGEMENT: unix domain socket listening on";

// A connection to the Unix socket at `path`, or why there is none. It never waits: a
// listener that cannot take it at once does not hold up the daemon's loop.
Result<UniqueFd> connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return Result<UniqueFd>::failure("the path is too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid() ||
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::fcntl(fd.get(), F_SETFL, 0) != 0)
        return Result<UniqueFd>::failure(std::strerror(errno));
    return Result<UniqueFd>::success(std::move(fd));
}

// Removes what an earlier openvpn may have left at `path`, which must be free for the next.
void removeSocket(const std::string& path) {
    struct stat st;
    if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path.c_str());
}

} // namespace

RunEffects::RunEffects(Settings settings) : settings_(std::move(settings)) {}

bool RunEffects::openVPNSaid() {
    bool listens = false;
    for (const std::string& line : runner_.readOutput()) {
        DaemonLog::line("openvpn: " + line);
        if (listening_ || line.find(listeningLine) == std::string::npos)
            continue;
        listening_ = true;
        // Only root can reach the socket's directory: whatever answers there is openvpn.
        auto connected = connectTo(settings_.managementSocket);
        if (!connected) {
            DaemonLog::line("cannot connect to openvpn's management interface: " + connected.why());
            continue;
        }
        // openvpn may write in the socket's directory: whatever answers there must be
        // this openvpn, not something it put in the socket's place.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(connected.value().get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
            peer.pid != runner_.pid()) {
            DaemonLog::line("refusing the management interface: it is not openvpn's");
            continue;
        }
        management_ = std::move(connected.value());
        listens = true;
    }
    return listens;
}

std::optional<int32_t> RunEffects::openVPNEnded() {
    // What openvpn wrote last is logged before its end.
    while (runner_.outputFd() >= 0) {
        const auto lines = runner_.readOutput();
        if (lines.empty())
            break;
        for (const std::string& line : lines)
            DaemonLog::line("openvpn: " + line);
    }
    auto status = runner_.reap();
    if (status) {
        management_.reset();
        report_.reset();
        removeSocket(settings_.managementSocket);
    }
    return status;
}

std::optional<NumericRemotes::Addresses> RunEffects::lookedUp() {
    return resolver_.read();
}

Result<void> RunEffects::startLookup(const std::vector<std::string>& names) {
    return resolver_.start(names);
}

NumericRemotes::Addresses RunEffects::stopLookup() {
    return resolver_.running() ? resolver_.stop() : NumericRemotes::Addresses{};
}

std::optional<std::string> RunEffects::freeTunnel(const std::string& type) {
    return TunnelDevice::freeName(type);
}

RunSupervisor::Blocked RunEffects::block(const std::string& tunnel, bool allowLocalNetwork) {
    if (!settings_.guard)
        return RunSupervisor::Blocked::unavailable;
    if (const Result<void> engaged = settings_.guard->engage(); !engaged) {
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

void RunEffects::closeTunnel() {
    if (settings_.guard)
        settings_.guard->closeTunnel();
}

void RunEffects::unblock() {
    if (settings_.guard)
        settings_.guard->release();
}

Result<void> RunEffects::startOpenVPN(OpenVPNRunner::Launch& launch) {
    if (settings_.managementSocket.empty())
        return Result<void>::failure("openvpn could not be started: the VPN helper has no "
                                     "directory of its own for openvpn's control channel.");
    removeSocket(settings_.managementSocket);
    management_.reset();
    launch.managementSocket = settings_.managementSocket;
    launch.tmpDir = settings_.tmpDir;
    launch.uid = settings_.openVPNUid;
    launch.gid = settings_.openVPNGid;
    launch.transportMark = launch.guarded ? LeakGuard::transportMark : 0;
    listening_ = false;
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
        const std::string why = std::strerror(errno);
        DaemonLog::line("cannot make the scripts' channel: " + why);
        return Result<void>::failure("openvpn could not be started: " + why + ".");
    }
    UniqueFd ours(channel[0]);
    const UniqueFd theirs(channel[1]);
    launch.reportChannel = theirs.get();
    if (const Result<void> started = runner_.start(launch); !started) {
        DaemonLog::line("cannot start openvpn: " + started.why());
        return Result<void>::failure("openvpn could not be started: " + started.why() + ".");
    }
    ::fcntl(ours.get(), F_SETFL, O_NONBLOCK);
    report_ = std::move(ours);
    reports_ = ScriptReport();
    ++run_;
    tunnel_ = launch.tunnelName;
    DaemonLog::line("openvpn started, pid " + std::to_string(runner_.pid()));
    return Result<void>::success();
}

std::vector<ScriptReport::Report> RunEffects::readReports() {
    char chunk[8192];
    const ssize_t n = ::read(report_.get(), chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return {};
    auto reports = n > 0 ? reports_.feed(std::string_view(chunk, static_cast<size_t>(n)))
                         : std::optional<std::vector<ScriptReport::Report>>{};
    if (!reports) {
        if (n > 0)
            DaemonLog::line("closing the channel of openvpn's scripts: a malformed report");
        report_.reset();
        return {};
    }
    return std::move(*reports);
}

void RunEffects::acknowledge(uint64_t run, bool applied) {
    if (run != run_ || !report_.valid())
        return;
    const std::string answer = applied ? "ok\n" : "failed\n";
    // The script waits for one short line; a channel that cannot take it has no reader.
    if (::send(report_.get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL) !=
        static_cast<ssize_t>(answer.size()))
        report_.reset();
}

void RunEffects::signalOpenVPN(int signalNumber) {
    runner_.signal(signalNumber);
}

void RunEffects::started(const RunSupervisor::Owner& owner) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::started;
    // The client gets the one connection; the helper keeps no copy of it, whether the
    // client reads it or not.
    const UniqueFd management = std::move(management_);
    settings_.send(owner.client, reply, management.get());
}

void RunEffects::ended(const RunSupervisor::Owner& owner, int32_t status, const UserMessage& reason,
                       bool blocking) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::terminated;
    reply.status = status;
    reply.reason = reason;
    reply.blocking = blocking;
    settings_.send(owner.client, reply, -1);
}

void RunEffects::lifted(const RunSupervisor::Owner& owner, const std::string& reason) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::blockLifted;
    reply.reason = reason;
    settings_.send(owner.client, reply, -1);
}

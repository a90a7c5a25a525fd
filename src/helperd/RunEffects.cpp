#include "helperd/RunEffects.h"

#include "helper/HelperPaths.h"
#include "helperd/DaemonLog.h"
#include "helperd/ManagementPort.h"
#include "helperd/TunnelDevice.h"

#include <algorithm>
#include <sys/random.h>

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

} // namespace

RunEffects::RunEffects(Settings settings) : settings_(std::move(settings)) {}

bool RunEffects::openVPNSaid() {
    bool listens = false;
    for (const std::string& line : runner_.readOutput()) {
        DaemonLog::line("openvpn: " + line);
        if (listening_ || line.find(listeningLine) == std::string::npos)
            continue;
        listening_ = true;
        // openvpn's own word, checked against the kernel's tables once: the interface
        // its client is sent to must be openvpn's, not something else on the port.
        listens = ManagementPort::listensFor(runner_.pid(), settings_.managementPort);
        if (!listens)
            DaemonLog::line("openvpn said its management interface listens, but it holds no "
                            "socket listening on port " +
                            std::to_string(settings_.managementPort));
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
    return runner_.reap();
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
    listening_ = false;
    if (const Result<void> started = runner_.start(launch); !started) {
        DaemonLog::line("cannot start openvpn: " + started.why());
        return Result<void>::failure("openvpn could not be started: " + started.why() + ".");
    }
    DaemonLog::line("openvpn started, pid " + std::to_string(runner_.pid()));
    return Result<void>::success();
}

void RunEffects::signalOpenVPN(int signalNumber) {
    runner_.signal(signalNumber);
}

void RunEffects::started(const RunSupervisor::Owner& owner, const std::string& password) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::started;
    reply.managementPassword = password;
    settings_.send(owner.client, reply);
}

void RunEffects::ended(const RunSupervisor::Owner& owner, int32_t status, const std::string& reason,
                       bool blocking) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::terminated;
    reply.status = status;
    reply.reason = reason;
    reply.blocking = blocking;
    settings_.send(owner.client, reply);
}

void RunEffects::lifted(const RunSupervisor::Owner& owner, const std::string& reason) {
    HelperReply reply;
    reply.id = owner.requestId;
    reply.kind = HelperReply::Kind::blockLifted;
    reply.reason = reason;
    settings_.send(owner.client, reply);
}

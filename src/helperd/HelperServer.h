#pragma once

#include "helper/HelperProtocol.h"
#include "helper/HelperWire.h"
#include "helperd/AccessCheck.h"
#include "helperd/ClientTable.h"
#include "helperd/DescriptorCloser.h"
#include "helperd/DnsEffects.h"
#include "helperd/LeakGuard.h"
#include "helperd/LoopWatchdog.h"
#include "helperd/OpenVPNRunner.h"
#include "helperd/PolkitAuthority.h"
#include "helperd/RunEffects.h"
#include "helperd/RunSupervisor.h"
#include "helperd/SystemBus.h"
#include "helperd/TunnelDns.h"
#include "platform/Result.h"

#include <chrono>
#include <deque>
#include <string>
#include <vector>

// The helper daemon's event loop: serves clients on the listening socket and turns
// what happens (requests, openvpn's output and end, the look-up's answer, time) into
// events of the run slot (RunSupervisor), whose effects RunEffects carries out, and what
// openvpn's scripts report (and the end of each change) into events of the tunnel's DNS
// (TunnelDns, carried out by DnsEffects). Single-threaded
// by design: even polkit's answers (PolkitAuthority) come in through the loop, and a
// connection whose request waits for one gets nothing else served meanwhile. A connection that must
// be closed while an event is handled is closed once that event is over, so nothing the handling
// holds goes away under it. Nothing a client sends is closed by the loop itself: descriptors
// go to the DescriptorCloser, whose closing may block.
class HelperServer {
public:
    static constexpr int32_t refusedStatus = HelperProtocol::refusedStatus;
    // A connection that has not finished a request by then is closed; one that waits
    // for its run's end, or idles after a complete request, is not.
    static constexpr auto requestTimeout = std::chrono::seconds(10);

    struct Settings {
        int listenFd = -1;
        int signalFd = -1;     // SIGTERM / SIGINT end the loop
        std::string version;   // answered to getVersion
        std::string scriptDir; // where client.up and client.down are installed
        // Where openvpn's management interface listens, in a directory only root may
        // enter; empty: there is none, and no run can start.
        std::string managementSocket;
        // Blocks traffic outside the tunnel of a run; none: runs are not guarded.
        LeakGuard* guard = nullptr;
        // openvpn's directory for temporary files; empty: its own choice.
        std::string tmpDir;
        // Where the record of the tunnel's DNS changes is kept, in a directory of root's.
        std::string dnsRecord;
        // The account openvpn runs as; uid 0: root's.
        uid_t openVPNUid = 0;
        gid_t openVPNGid = 0;
    };

    explicit HelperServer(Settings settings);
    // Serves until a stop signal; returns the process exit code.
    int run();

private:
    using Clock = std::chrono::steady_clock;

    void accept();
    void readFrom(uint64_t clientId);
    void serveTurn();
    // The descriptors that came with the request are the caller's to hand to the closer;
    // what handling keeps is taken out of `fds`.
    void handle(const ClientTable::Caller& caller, const HelperRequest& request,
                std::vector<UniqueFd>& fds);
    // Asks polkit about the process that asked, where the act needs it, then decides.
    void authorize(const ClientTable::Caller& caller, const HelperRequest& request,
                   ClientPolicy::Act act, std::vector<UniqueFd>& fds);
    void decide(const ClientTable::Caller& caller, const HelperRequest& request,
                ClientPolicy::Act act, ClientPolicy::Authority answer, const std::string& detail,
                std::vector<UniqueFd>& fds);
    // `sessionsCount`: whether a block's owner who left the computer loses it; only where
    // polkit answered, which judges by the same sessions.
    ClientPolicy::BlockHolder blockHolderFor(uid_t caller, bool sessionsCount) const;
    void handleRun(const ClientTable::Caller& caller, const HelperRequest& request,
                   bool sessionsCount, std::vector<UniqueFd>& fds);
    void dispatch(RunSupervisor::Event event);
    // DNS events wait in a queue: what posts one may be in the middle of handling another.
    void post(TunnelDns::Event event) { dnsEvents_.push_back(std::move(event)); }
    void handleDnsEvents();
    void readReports();
    // The routes through the current run's tunnel, as the kernel holds them.
    std::vector<FullTunnel::Prefix> tunnelRoutes() const;
    // Closes the connection once the event at hand is over.
    void closeLater(uint64_t clientId, const std::string& why);
    void closeDoomed();
    int pollTimeout() const;
    // Sends `fd` (none when negative) with the reply; it stays the caller's to close.
    void send(uint64_t clientId, const HelperReply& reply, int fd = -1);
    Result<void> trustedScript(const std::string& path) const;

    Settings settings_;
    const uid_t firstRegularUid_ = ClientPolicy::firstRegularUid();
    ClientTable clients_;
    // Before whatever may hold client descriptors (polkit's pending answers): it outlives them.
    DescriptorCloser closer_;
    LoopWatchdog watchdog_;
    SystemBus bus_;
    PolkitAuthority authority_{bus_};
    AccessCheck access_{authority_};
    std::vector<std::pair<uint64_t, std::string>> doomed_;
    RunEffects effects_;
    RunSupervisor supervisor_{effects_};
    std::deque<TunnelDns::Event> dnsEvents_;
    DnsEffects dnsEffects_;
    TunnelDns dns_{dnsEffects_};
};

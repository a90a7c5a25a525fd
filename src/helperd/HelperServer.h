#pragma once

#include "helper/HelperProtocol.h"
#include "helper/HelperWire.h"
#include "helper/LineReader.h"
#include "helperd/LeakGuard.h"
#include "helperd/NameResolver.h"
#include "helperd/OpenVPNRunner.h"
#include "platform/Result.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

// The helper daemon's event loop: serves clients on the listening socket, runs at
// most one openvpn at a time, and answers each run request exactly once with the
// status that openvpn ended with. Single-threaded by design.
class HelperServer {
public:
    static constexpr int32_t refusedStatus = HelperProtocol::refusedStatus;
    // One user's connections may not crowd out everyone else's; root is always served.
    static constexpr size_t maxClients = 64;
    static constexpr size_t maxClientsPerUser = 8;
    // A connection that has not finished a request by then is closed; one that waits
    // for its run's end, or idles after a complete request, is not.
    static constexpr auto requestTimeout = std::chrono::seconds(10);
    // How long openvpn may take to open its management interface, and how often the
    // daemon looks.
    static constexpr auto readyTimeout = std::chrono::seconds(10);
    static constexpr auto readyPoll = std::chrono::milliseconds(2);

    struct Settings {
        int listenFd = -1;
        int signalFd = -1;     // SIGTERM / SIGINT end the loop
        std::string version;   // answered to getVersion
        std::string scriptDir; // where client.up and client.down are installed
        int managementPort = OpenVPNRunner::managementPort;
        // Blocks traffic outside the tunnel of a run; none: runs are not guarded.
        LeakGuard* guard = nullptr;
    };

    explicit HelperServer(Settings settings);
    // Serves until a stop signal; returns the process exit code.
    int run();

private:
    struct Client {
        int fd = -1;
        uid_t uid = 0;
        gid_t gid = 0;
        pid_t pid = 0;
        LineReader lines{HelperWire::maxLineBytes};
        uint64_t lastId = 0;
        // Since when the connection owes the rest of a request (or its first one).
        std::optional<std::chrono::steady_clock::time_point> owesSince;
    };
    struct Owner {
        uint64_t client = 0;
        uint64_t requestId = 0;
        uid_t uid = 0;
    };
    struct PendingRun {
        Owner owner;
        OpenVPNRunner::Launch launch;
        bool blockLeaks = false;
        bool allowLocalNetwork = false;
    };
    struct CurrentRun {
        Owner owner;
        std::string managementPassword;
        bool started = false; // its client has been told the management interface listens
        std::chrono::steady_clock::time_point readyDeadline;
        std::string endReason; // why the daemon ended it, when that is the client's news
        // Its user asked for its end (or went away): the block goes with it. Any other
        // end keeps blocking until the user chooses.
        bool releaseAtEnd = false;
    };

    void accept();
    void readFrom(uint64_t clientId);
    void drop(uint64_t clientId, const std::string& why);
    void handle(uint64_t clientId, const HelperRequest& request);
    void handleRun(uint64_t clientId, const HelperRequest& request);
    // Gives a guarded run numeric remotes: looked up now, or, while a block holds and no
    // query can leave, those looked up when it began. False if the run was refused.
    bool resolveRemotes(PendingRun& run, const Client& client);
    void resolved(NumericRemotes::Addresses addresses);
    bool useAddresses(PendingRun& run, const NumericRemotes::Addresses& addresses);
    // Starts the run, or lets the running openvpn end first.
    void proceed(PendingRun run);
    void cancelResolving(int32_t status, const std::string& reason, const std::string& why);
    void startRun(PendingRun run);
    void stopCurrent(const std::string& why);
    void handleReleaseBlock(uint64_t clientId);
    // Blocks traffic outside `tunnel` for the run of `owner`; false if the run must be
    // refused, as it would leave the local network open against its user's choice.
    bool guardRun(const Owner& owner, const std::string& tunnel, bool allowLocalNetwork);
    void releaseBlock(const std::string& why);
    // The reply's `blocking`: whether the block outlives the run of `owner`.
    bool blocksFor(const Owner& owner) const;
    void openVPNEnded();
    void checkReady();
    void closeStalledClients();
    int pollTimeout() const;
    void reply(const Owner& owner, int32_t status, const std::string& reason = {});
    void send(uint64_t clientId, const HelperReply& reply);
    Result<void> trustedScript(const std::string& path) const;
    std::string who(const Client& client) const;

    Settings settings_;
    std::map<uint64_t, Client> clients_;
    uint64_t nextClientId_ = 1;
    OpenVPNRunner runner_;
    std::optional<CurrentRun> current_;
    std::optional<PendingRun> pending_;
    // A guarded run whose server names are being looked up before it goes on.
    std::optional<PendingRun> resolving_;
    NameResolver resolver_;
    // The addresses looked up for the block that holds, and for whom: a run that takes
    // the block over cannot look its names up through it.
    NumericRemotes::Addresses blockAddresses_;
    uid_t blockAddressesUid_ = 0;
    std::optional<std::chrono::steady_clock::time_point> killDeadline_;
    // Whose run the guard's block is for, while it blocks.
    std::optional<Owner> blockOwner_;
    bool stopping_ = false;
};

#pragma once

#include "helper/HelperConnectionProvider.h"
#include "helper/HelperProtocol.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/BackgroundQueue.h"
#include "vpn/ConnectionState.h"
#include "vpn/ConnectionStats.h"
#include "vpn/OpenVPNManagement.h"
#include "vpn/StateSink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// The process's VPN service: the connection state word, the credentials and profile
// of the next start, and the management client that follows the running openvpn.
class OpenVPNService : public StateSink {
public:
    static constexpr const char* stateDidChangeNotification = "OpenVPNStateDidChange";
    // Posted on the main queue when the shown traffic or minutes connected have changed.
    static constexpr const char* trafficDidChangeNotification = "OpenVPNTrafficDidChange";
    static constexpr const char* initialState = ConnectionState::noProcess;
    // Why the machine is no longer blocked after a drop: the helper that held the block
    // went away, and its block with it.
    static constexpr const char* blockEndedWithHelper =
        "The VPN helper stopped, so traffic outside the VPN is no longer blocked.";

    struct Dependencies {
        MainQueue* mainQueue = nullptr;              // the process's main queue when empty
        NotificationCenter* notifications = nullptr; // the default centre when empty
        int32_t managementPort = OpenVPNManagement::defaultPort;
        // Whoever holds the application's helper connection, asked for it at every start;
        // none by default, and it may yield none.
        HelperConnectionProvider* helper = nullptr;
        // Full path of a resource ("client.up", "client.down"), empty when it is missing;
        // by default the scripts installed beside the helper.
        std::function<std::optional<std::string>(const std::string& name)> resourcePath = {};
        // Whether the far end of a new management connection may be given the credentials;
        // by default only a socket owned by root (the helper's openvpn) may.
        std::function<bool(const TCPConnection& connection)> trustManagementPeer = {};
        std::chrono::milliseconds startTimeout = defaultStartTimeout;
    };

    static constexpr int connectAttempts = 8;
    static constexpr double connectTimeoutSeconds = 3;
    static constexpr unsigned retryPauseMicroseconds = 300000;

    // After "signal SIGINT", how long openvpn gets before the helper is asked to end it
    // (a stopped or hung openvpn never reads the command).
    static constexpr auto stopAnswerTimeout = std::chrono::seconds(3);
    // How long the helper may take to report the run started (it gives openvpn 10 s).
    static constexpr std::chrono::milliseconds defaultStartTimeout = std::chrono::seconds(20);
    // How long an openvpn whose management connection closed may take to be reported
    // ended by the helper before the helper is asked to end it.
    static constexpr auto managementLossGrace = std::chrono::seconds(2);
    // The pauses before each new run asked of a helper that went away while a connection
    // was wanted; after the last one the connection ends.
    static constexpr std::chrono::milliseconds helperRetryPauses[] = {
        std::chrono::milliseconds(500), std::chrono::seconds(1), std::chrono::seconds(2),
        std::chrono::seconds(4), std::chrono::seconds(8)};

    explicit OpenVPNService(Dependencies dependencies);
    ~OpenVPNService() override;
    OpenVPNService(const OpenVPNService&) = delete;
    OpenVPNService& operator=(const OpenVPNService&) = delete;

    // The one service of the process, created on first use; configureShared() must
    // come before that first use to take effect.
    static OpenVPNService& shared();
    static void configureShared(Dependencies dependencies);

    // Set and read on the main thread only.
    std::optional<std::string> config;
    std::optional<std::string> username;
    std::optional<std::string> password;

    std::string state() const;
    // Stores the word and publishes nothing; every writer in the system uses updateState.
    void setState(std::string word);
    // Stores the word by the state rule and posts stateDidChangeNotification on the main queue.
    void updateState(const std::string& word) override;
    void passwordNotice(std::string_view payload) override;
    void stateAddress(std::string_view address) override;
    void byteCount(uint64_t in, uint64_t out) override;

    // The server, time connected and traffic of the tunnel, while it is up.
    ConnectionStats::Snapshot connectionStats() const { return stats_.snapshot(); }

    OpenVPNManagement& management() { return *management_; }

    // Asks the helper to run openvpn with `config` and the two scripts and returns at
    // once. When the helper says the run's management interface listens, a worker
    // connects to it (8 attempts), authenticates with the run's password, hands over
    // the credentials and starts reading. Main thread.
    void startOpenVPN();
    // Asks the running openvpn to exit; if it has not ended after stopAnswerTimeout, the
    // helper is asked to end it.
    void stopOpenVPN();

    // Lets traffic outside the tunnel go again after a run that ended without the user
    // asking: the helper blocks it until the user chooses (a stop the user asked for
    // releases it by itself).
    void releaseBlock();
    // Whether the helper still blocks traffic outside the tunnel after the last run ended
    // without the user asking, as it said when that run ended.
    bool blocked() const;
    // What the helper is asked to block during each run started from now on; off by
    // default. Any thread.
    void setLeakBlock(HelperProtocol::LeakBlock block);
    HelperProtocol::LeakBlock leakBlock() const;

    // Whether a run was asked for and has not ended yet.
    bool runInProgress() const;

    // On by default. Off, a connection that drops, or meets a network change or sleep,
    // is ended and the failure reported instead of started over.
    void setAutomaticReconnect(bool on) { automaticReconnect_ = on; }
    bool automaticReconnect() const { return automaticReconnect_; }
    // The network changed under a running tunnel, or the system is about to sleep or has
    // woken: openvpn is told to start over at once ("signal SIGUSR1") instead of finding
    // out by its own timers. A change that brought no new way out (`networkAppeared`
    // false) is left to openvpn while it is not connected. Any thread.
    void networkChanged(const std::string& what, bool networkAppeared = true);
    void managementClosed() override;
    // Why the last run ended without the user asking, once; empty if it did not.
    std::string takeFailure();

private:
    struct Run;

    // Stores the word and queues its notification; the caller holds stateMutex_.
    void storeLocked(const std::string& word);
    // Publishes `run` and asks the helper for it; false when there is no helper connection.
    bool requestRun(const std::shared_ptr<Run>& run);
    // The helper went away while `run` was wanted, and took its openvpn along: a new run
    // is asked of it after a pause. False when that is not wanted or tried often enough.
    bool retryThroughHelper(const std::shared_ptr<Run>& run);
    // Whether the user still wants `run`'s tunnel and its openvpn can be steered.
    bool wanted(const Run& run);
    // Asks `run`'s openvpn to exit, and the helper to end it if it does not. The block
    // goes with it only when `userAsked`; otherwise it holds until the user chooses.
    void stopRun(const std::shared_ptr<Run>& run, bool userAsked);
    // `connection` broke: a block that outlived a run made over it went with it. Unless
    // no such block is claimed, says so. On the connection's queue.
    void blockGone(const HelperConnection* connection);
    // Ends `run` and reports `failure`, as automatic reconnecting is off.
    void endConnection(const std::shared_ptr<Run>& run, const std::string& failure);
    void connectAndPrime(const std::shared_ptr<Run>& run, const std::string& managementPassword);
    bool connectManagement(const std::shared_ptr<Run>& run, const std::string& managementPassword,
                           std::string& alreadyRead);
    void openVPNExited(const std::shared_ptr<Run>& run, int32_t status, const std::string& reason,
                       bool blocking = false);
    void giveUp(const std::string& why, const std::string& failure);
    void fail(const std::shared_ptr<Run>& run, const std::string& failure);
    std::shared_ptr<Run> currentRun() const;
    // Waits until the queues have run everything given to them.
    void waitForWorkers();
    // On the watch queue, once the earlier watches are over: runs `onTimeout` unless `run`
    // ends or `settled` holds within `timeout`. `settled` is asked with runMutex_ held.
    void watch(const std::shared_ptr<Run>& run, std::chrono::milliseconds timeout,
               std::function<bool()> settled, std::function<void()> onTimeout);

    Dependencies dependencies_;
    MainQueue& mainQueue_;
    NotificationCenter& notifications_;
    mutable std::mutex stateMutex_;
    std::string state_ = initialState;
    std::string failure_;
    ConnectionStats stats_;
    std::unique_ptr<OpenVPNManagement> management_;

    mutable std::mutex runMutex_;
    std::condition_variable runEnded_;
    std::shared_ptr<Run> run_; // the run under way, if any
    // The helper of the last run that ended unasked, whose block may still hold, and the
    // connection that helper's requests go over (alive while blockedBy_ holds it).
    std::shared_ptr<HelperProtocol> blockedBy_;
    const HelperConnection* blockedOn_ = nullptr;
    // The connection that tells blockGone when it breaks: one watch for all of its runs
    // that end blocked, not one more per run for the connection's whole life.
    std::weak_ptr<HelperConnection> watched_;
    // Held weakly by that watch, which may outlive this service: it calls in only while it
    // can hold this, and the destructor waits until it no longer does. runMutex_.
    std::shared_ptr<bool> lifetime_ = std::make_shared<bool>(true);
    std::atomic<bool> automaticReconnect_{true};
    std::atomic<bool> blockLeaks_{false};
    std::atomic<bool> allowLocalNetwork_{false};
    // Last, so they go first: their tasks use everything above.
    BackgroundQueue starter_; // connects the management client of a started run
    BackgroundQueue watch_;   // gives up on a run that does not start, or does not stop
    BackgroundQueue retry_;   // asks a helper that went away for a new run
};

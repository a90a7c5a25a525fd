#pragma once

#include "helper/HelperConnectionProvider.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/ConnectionState.h"
#include "vpn/ConnectionStats.h"
#include "vpn/OpenVPNManagement.h"
#include "vpn/StateSink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// The process's VPN service: the connection state word, the credentials and profile
// of the next start, and the management client that follows the running openvpn.
class OpenVPNService : public StateSink {
public:
    static constexpr const char* stateDidChangeNotification = "OpenVPNStateDidChange";
    // Posted on the main queue when the shown traffic or minutes connected have changed.
    static constexpr const char* trafficDidChangeNotification = "OpenVPNTrafficDidChange";
    static constexpr const char* initialState = ConnectionState::noProcess;

    struct Dependencies {
        MainQueue* mainQueue = nullptr;              // the process's main queue when empty
        NotificationCenter* notifications = nullptr; // the default centre when empty
        int32_t managementPort = OpenVPNManagement::defaultPort;
        // The application's delegate, asked for the helper connection at every start;
        // none by default, and it may yield none.
        std::function<HelperConnectionProvider*()> delegate = {};
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

    // Whether a run was asked for and has not ended yet.
    bool runInProgress() const;
    // Why the last run ended without the user asking, once; empty if it did not.
    std::string takeFailure();

private:
    struct Run;

    // Stores the word and queues its notification; the caller holds stateMutex_.
    void storeLocked(const std::string& word);
    void connectAndPrime(const std::shared_ptr<Run>& run, const std::string& managementPassword);
    bool connectManagement(const std::shared_ptr<Run>& run, const std::string& managementPassword,
                           std::string& alreadyRead);
    void openVPNExited(const std::shared_ptr<Run>& run, int32_t status, const std::string& reason);
    void giveUp(const std::string& why, const std::string& failure);
    void fail(const std::shared_ptr<Run>& run, const std::string& failure);
    std::shared_ptr<Run> currentRun() const;
    void joinWorkers();
    // On a thread of its own: runs `onTimeout` unless `run` ends or `settled` holds
    // within `timeout`. `settled` is asked with runMutex_ held.
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
    std::mutex workersMutex_;
    std::thread starter_; // connects the management client of a started run
    std::thread watch_;   // gives up on a run that does not start, or does not stop
};

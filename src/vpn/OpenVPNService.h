#pragma once

#include "helper/HelperConnectionProvider.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/OpenVPNManagement.h"
#include "vpn/StateSink.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The process's VPN service: the connection state word, the credentials and profile
// of the next start, and the management client that follows the running openvpn.
class OpenVPNService : public StateSink {
public:
    static constexpr const char* stateDidChangeNotification = "OpenVPNStateDidChange";
    static constexpr const char* initialState = "NOPROCESS";

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
    };

    static constexpr int connectAttempts = 8;
    static constexpr double connectTimeoutSeconds = 3;
    static constexpr unsigned retryPauseMicroseconds = 300000;

    explicit OpenVPNService(Dependencies dependencies);
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

    OpenVPNManagement& management() { return *management_; }

    // Has the helper run openvpn with `config` and the two scripts, connects the
    // management client (8 attempts), hands over the credentials and starts reading.
    // Returns once the management connection is made or given up. Main thread.
    void startOpenVPN();
    // Asks the running openvpn to exit.
    void stopOpenVPN();

private:
    // Stores the word and queues its notification; the caller holds stateMutex_.
    void storeLocked(const std::string& word);
    bool connectManagement();
    void openVPNExited(int32_t status);
    void giveUp(const std::string& why);

    Dependencies dependencies_;
    MainQueue& mainQueue_;
    NotificationCenter& notifications_;
    mutable std::mutex stateMutex_;
    std::string state_ = initialState;
    std::unique_ptr<OpenVPNManagement> management_;
};

#pragma once

#include "HelperDaemon.h"
#include "OpenVPNServer.h"
#include "helper/HelperClient.h"
#include "platform/ManualMainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/OpenVPNService.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// The whole VPN path for a test, all of it real: an openvpn server that accepts the
// given accounts, the helper daemon as root, the application's helper client holding
// the helper connection, and the service object driven through its own operations.
// The main queue is drained by the test.
class VpnStack {
public:
    explicit VpnStack(std::vector<OpenVPNServer::Account> accounts, bool withHelper = true,
                      std::chrono::milliseconds startTimeout = RunTiming{}.start,
                      bool blockLeaks = false);

    OpenVPNServer server;
    HelperDaemon daemon;
    TempDir dir{"quovant-client"};
    ManualMainQueue mainQueue;
    NotificationCenter notifications;
    std::unique_ptr<OpenVPNService> service;
    // Declared after the service, so it goes first: no helper reply can reach a service that is
    // gone.
    std::unique_ptr<HelperClient> helperClient;
    std::vector<std::string> seenStates; // the state words seen, in order
    NotificationCenter::Observation observation;

    // Writes the server's client profile (owner-only) and sets config, username, password.
    void prepare(const std::string& username, const std::string& password);
    // The prepared account in a file of two lines (owner-only), for a bare openvpn's
    // --auth-user-pass; returns its path.
    std::string writeCredentials() const;
    bool waitForState(const std::string& word,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Tells openvpn to start over, as after a network change, and waits until it has been
    // RECONNECTING and is CONNECTED again.
    bool restartAndWaitForConnected(std::chrono::milliseconds timeout = std::chrono::seconds(30));
};

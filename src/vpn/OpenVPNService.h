#pragma once

#include "helper/HelperConnectionProvider.h"
#include "helper/HelperProtocol.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/BackgroundQueue.h"
#include "vpn/ConnectionControl.h"
#include "vpn/ConnectionStatus.h"
#include "vpn/OpenVPNManagement.h"
#include "vpn/ProfileSource.h"
#include "vpn/RunEffects.h"
#include "vpn/RunMachine.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

// The process's VPN service: the connection's status, the profile and credentials of the
// next start, and the management client that follows the running openvpn.
//
// Its state lives on the main thread, in a RunMachine. The helper connection's thread,
// the management reader and the network watcher only post
// events tagged with the run they belong to; time-outs are posted events too. Nothing on
// the main thread waits for another thread.
class OpenVPNService : public ConnectionControl, private RunEffects {
public:
    // Posted on the main queue each time the status changes: the state word was stored
    // (by every state line, and NOPROCESS when openvpn is gone) or the phase moved.
    static constexpr const char* stateDidChangeNotification = "OpenVPNStateDidChange";
    // Posted on the main queue when the shown traffic or minutes connected have changed.
    static constexpr const char* trafficDidChangeNotification = "OpenVPNTrafficDidChange";

    struct Dependencies {
        MainQueue* mainQueue = nullptr;              // the process's main queue when empty
        NotificationCenter* notifications = nullptr; // the default centre when empty
        // Whoever holds the application's helper connection, asked for it at every start;
        // none by default, and it may yield none.
        HelperConnectionProvider* helper = nullptr;
        // Full path of a resource ("client.up", "client.down"), empty when it is missing;
        // by default the scripts installed beside the helper.
        std::function<std::optional<std::string>(const std::string& name)> resourcePath = {};
        RunTiming timing = {};
        // Where connect() gets the profile; connect() fails without one.
        ProfileSource* profiles = nullptr;
    };

    explicit OpenVPNService(Dependencies dependencies);
    // Ends what runs on its threads and drops every event still on its way: nothing of
    // it is reached after this returns.
    ~OpenVPNService() override;
    OpenVPNService(const OpenVPNService&) = delete;
    OpenVPNService& operator=(const OpenVPNService&) = delete;

    // Everything below on the main thread, unless it says otherwise.

    // The profile and credentials of the next startOpenVPN().
    std::optional<std::string> config;
    std::optional<std::string> username;
    std::optional<std::string> password;

    const ConnectionStatus& status() const override { return machine_.status(); }
    std::string state() const { return status().state; }
    // Whether a connection is being made, is up or is ending.
    bool runInProgress() const { return status().running(); }
    // Whether the helper blocks traffic outside the tunnel after a drop.
    bool blocked() const { return status().blocked(); }

    void connect(const Credentials& credentials) override;
    // Asks the helper to run openvpn with `config` and the two scripts, and returns at once.
    void startOpenVPN();
    void stopOpenVPN() override;
    void reconnect() override;
    void releaseBlock() override;
    // Ends whatever runs, the block too, and calls `done` once nothing does.
    void shutdown(std::function<void()> done);

    // On by default. Off, a connection that drops, or meets a network change or sleep, is
    // ended and the failure told instead of started over.
    void setAutomaticReconnect(bool on) { machine_.automaticReconnect = on; }
    bool automaticReconnect() const { return machine_.automaticReconnect; }
    // What runs started from now on block; off by default. Switched off while a block
    // holds after a drop, the block goes.
    void setLeakBlock(LeakBlock block);

    // The network changed under a running tunnel, or the system is about to sleep or has
    // woken: openvpn is told to start over at once ("signal SIGUSR1") instead of finding
    // out by its own timers. A change that brought no new way out (`networkAppeared`
    // false) is left to openvpn while it is not connected. Any thread.
    void networkChanged(const std::string& what, bool networkAppeared = true);

    OpenVPNManagement& management() { return *management_; }

private:
    class RunSink;
    // What the service keeps of each helper request: the proxy its later requests go
    // through, and the connection whose break ends a block it holds.
    struct Link {
        std::shared_ptr<HelperProtocol> proxy;
        std::shared_ptr<HelperConnection> connection;
    };

    // From any thread: `event` is handled on the main thread, unless the service is gone.
    void post(RunEvent event);
    void dispatch(RunEvent event);

    void fetchProfile(uint64_t run, const Credentials& credentials) override;
    void cancelProfile() override;
    std::optional<std::pair<std::string, std::string>> scripts() override;
    size_t servers(const std::string& config) override;
    void askHelper(uint64_t run, const RunRequest& request) override;
    void attach(uint64_t run) override;
    void startReading(uint64_t run) override;
    void send(const std::string& command) override;
    void kill(uint64_t run, bool keepBlock) override;
    void releaseBlock(uint64_t run) override;
    void watchBlock(uint64_t run) override;
    void startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds after) override;
    void statusChanged(bool wordStored) override;
    void trafficChanged() override;
    void quitDone() override;
    void log(const std::string& line) override;

    Dependencies dependencies_;
    MainQueue& mainQueue_;
    NotificationCenter& notifications_;
    RunMachine machine_;
    std::deque<RunEvent> handling_; // events that came while one was being handled
    bool inHandle_ = false;
    std::map<uint64_t, Link> links_;
    std::weak_ptr<HelperConnection> watched_; // the connection that tells of its break
    // The management connection the helper handed over with the current run's start.
    std::shared_ptr<UniqueFd> handedOver_;
    std::function<void()> shutdownDone_;
    // Checked by everything posted to the main queue: set to null as the service goes.
    std::shared_ptr<OpenVPNService*> self_ = std::make_shared<OpenVPNService*>(this);
    std::unique_ptr<OpenVPNManagement> management_;
};

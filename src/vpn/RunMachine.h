#pragma once

#include "platform/UserMessage.h"
#include "vpn/ConnectAttempts.h"
#include "vpn/ConnectionStatus.h"
#include "vpn/RunEffects.h"
#include "vpn/RunEvent.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// How long a run waits for each answer before it gives up on it.
struct RunTiming {
    std::chrono::milliseconds start = std::chrono::seconds(20);
    // After "signal SIGINT", how long openvpn gets before the helper is asked to end
    // it (a stopped or hung openvpn never reads the command), and how long the helper
    // then gets to say it has (it gives openvpn 5 s before it kills it).
    std::chrono::milliseconds stopAnswer = std::chrono::seconds(3);
    std::chrono::milliseconds killAnswer = std::chrono::seconds(8);
    // How long an openvpn whose management connection closed may take to be reported
    // ended before the helper is asked to end it.
    std::chrono::milliseconds managementLoss = std::chrono::seconds(2);
    // How long a server may take to be reached, from openvpn's start: openvpn's own TLS
    // handshake window. A connection never up is given up after this per server, and per
    // address openvpn tries.
    std::chrono::milliseconds serverWindow = std::chrono::seconds(60);
    // How long openvpn may take, once an address's window is over, to start on the next
    // one: its restart pause (connect-retry, 1 s until it backs off) and the lookup.
    std::chrono::milliseconds nextServer = std::chrono::seconds(5);
    // How long a tunnel that was up may be remade before the user is told that it still is.
    std::chrono::milliseconds reconnectNotice = std::chrono::seconds(60);
};

// The life of a connection, from the click to the end of its openvpn: one phase and one
// transition function. It owns no thread and does no I/O: it is fed events on the main
// thread and acts only through RunEffects, so it runs in tests on a queue and a clock
// the test drives.
class RunMachine {
public:
    using Clock = ConnectionStats::Clock;

    // What the user is told, where the run gives a reason.
    static constexpr const char* wrongVpnCredentials =
        USER_TEXT("Messages", "The VPN server did not accept the e-mail address or password.");
    static constexpr const char* blockEndedWithHelper = USER_TEXT(
        "Messages", "The VPN helper stopped, so traffic outside the VPN is no longer blocked.");
    static constexpr const char* noHelper = USER_TEXT("Messages", "No VPN helper answers.");
    static constexpr const char* helperTooSlow =
        USER_TEXT("Messages", "The VPN helper did not start the connection in time.");
    static constexpr const char* helperSilent =
        USER_TEXT("Messages", "The VPN helper did not end the connection.");
    static constexpr const char* managementBroke =
        USER_TEXT("Messages", "The connection to the VPN's control port broke.");

    // The most addresses of the servers' names that each give a run more time to connect,
    // against a name that resolves to hundreds.
    static constexpr size_t countedAddresses = 64;

    // The pauses before each new run asked of a helper that went away while the tunnel was
    // wanted; after the last one the connection ends.
    static constexpr std::chrono::milliseconds helperRetryPauses[] = {
        std::chrono::milliseconds(500), std::chrono::seconds(1), std::chrono::seconds(2),
        std::chrono::seconds(4), std::chrono::seconds(8)};

    RunMachine(RunEffects& effects, RunTiming timing = {},
               std::function<Clock::time_point()> now = Clock::now);

    void handle(const RunEvent& event);

    const ConnectionStatus& status() const { return status_; }
    // The id that events of the current run carry; 0 when there is none.
    uint64_t currentRun() const { return run_ ? run_->id : 0; }

    // On by default. Off, a connection that drops, or meets a network change or sleep, is
    // ended and the failure told instead of started over.
    bool automaticReconnect = true;
    // What runs started from now on block.
    LeakBlock leakBlock;

private:
    struct Run {
        uint64_t id = 0;
        Credentials credentials;
        RunRequest request;
        bool asked = false;         // the helper has been asked (and not yet answered its end)
        bool attached = false;      // the management client is connected
        bool everConnected = false; // the tunnel was up in this connection: the block protects it
        bool stopAsked = false;
        bool userStopped = false;
        size_t helperRetries = 0;
        int credentialPrompts = 0;
        UserMessage failure;
        std::optional<Credentials> connectAfter; // a connect that came while this one ended
        // The helper said openvpn ended while its last lines were still being read.
        std::optional<RunEvent> endPending;
        // Connecting: how many servers the profile gives openvpn, how many it has given up
        // on, and why the last attempt failed, as far as openvpn said.
        size_t servers = 1;
        size_t serversTried = 0;
        size_t restartsAsked = 0;           // restarts this run asked for, which try no new server
        std::vector<std::string> attempted; // the server addresses tried, as openvpn logs them
        size_t addresses = 0; // new addresses met, up to countedAddresses: each extends the limit
        Clock::time_point connectingSince;
        Clock::time_point connectDeadline; // a run not yet up ends here
        bool handshaking = false; // the server of this attempt answered; the handshake runs
        ConnectAttempts::Problem problem = ConnectAttempts::Problem::none;
        Clock::time_point reconnectingSince;
    };

    void connect(const Credentials& credentials);
    // By value: the caller may hand over the fields of the run this one replaces.
    void startRun(std::string config, Credentials credentials, bool everConnected = false);
    void ask();
    void stop(bool userAsked);
    // Ends the connection the user still wants, telling why.
    void endConnection(const UserMessage& failure);
    void ended(int32_t status, const UserMessage& reason, bool blocking);
    // The end the helper told while openvpn's last lines were still being read.
    void endNow();
    bool retryThroughHelper();
    // Back to idle; a non-empty `failure` is told.
    void finish(const UserMessage& failure);
    void fail(const UserMessage& failure);
    void stateLine(const RunEvent& event);
    // A state line of a run not yet up: what openvpn is doing, and whether it has tried
    // every server.
    void attempt(const RunEvent& event, const std::string& before);
    void connectProblem(ConnectAttempts::Problem problem);
    void attemptAt(const std::string& server);
    // Every server has been tried: the run ends with why the last one was not reached.
    void everyServerTried();
    // How long openvpn is given, from its start, to reach one of `servers` servers.
    std::chrono::milliseconds connectWindow(size_t servers) const;
    void passwordNotice(const std::string& payload);
    void networkChanged(const std::string& what, bool appeared);
    void timeout(RunTimer timer);
    void helperFailed(int code, const UserMessage& description);
    void storeWord(const std::string& word);
    void setPhase(RunPhase phase);
    void timer(RunTimer which, std::chrono::milliseconds after);

    RunEffects& effects_;
    const RunTiming timing_;
    std::function<Clock::time_point()> now_;
    ConnectionStatus status_;
    ConnectionStats stats_;
    std::optional<Run> run_;
    uint64_t nextId_ = 1;
    bool quitting_ = false;
};

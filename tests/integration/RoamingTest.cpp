#include "ChildProcess.h"
#include "Poll.h"
#include "VpnStack.h"
#include "platform/Log.h"
#include "platform/NetworkWatcher.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;
using Accounts = std::vector<OpenVPNServer::Account>;
using Clock = std::chrono::steady_clock;

constexpr const char* serverAddress = "10.213.0.2";

void run(const std::vector<std::string>& argv) {
    std::string out;
    ASSERT_EQ(runCommand(argv, &out), 0) << argv[0] << " " << argv[1] << ": " << out;
}

bool seen(const VpnStack& vpn, const std::string& word) {
    return std::find(vpn.seenStates.begin(), vpn.seenStates.end(), word) != vpn.seenStates.end();
}

bool pingThroughTunnel() {
    return runCommand({"ping", "-c", "1", "-W", "5", OpenVPNServer::tunnelAddress}) == 0;
}

// What a NetworkWatcher reported, in order.
struct Reports {
    std::mutex mutex;
    std::vector<std::string> changes;
    std::vector<bool> appeared;

    std::function<void(const NetworkWatcher::Change&)> sink() {
        return [this](const NetworkWatcher::Change& change) {
            std::lock_guard lock(mutex);
            changes.push_back(change.what);
            appeared.push_back(change.appeared);
        };
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return changes.size();
    }
    // Waits (bounded) until `n` reports came, then a little longer for any extra one.
    size_t settle(size_t n) {
        pollUntil([&] { return count() >= n; }, 3s);
        std::this_thread::sleep_for(NetworkWatcher::maxDelay + 200ms);
        return count();
    }
};

TEST(NetworkWatcher, ReportsEachBurstOnceAndIgnoresTunnelsAndLinkLocalNoise) {
    Reports reports;
    NetworkWatcher watcher(reports.sink());
    ASSERT_TRUE(watcher.watching());

    // A link that comes up brings its addresses and routes along: one report.
    run({"ip", "link", "add", "qv-dummy", "type", "veth", "peer", "name", "qv-peer"});
    run({"ip", "addr", "add", "192.0.2.1/24", "dev", "qv-dummy"});
    run({"ip", "link", "set", "qv-dummy", "up"});
    run({"ip", "route", "add", "default", "via", "192.0.2.254", "dev", "qv-dummy"});
    EXPECT_EQ(reports.settle(1), 1u) << reports.changes.back();

    run({"ip", "route", "replace", "default", "via", "192.0.2.253", "dev", "qv-dummy"});
    EXPECT_EQ(reports.settle(2), 2u) << "a default route replaced";
    run({"ip", "addr", "add", "198.51.100.7/32", "dev", "qv-dummy"});
    EXPECT_EQ(reports.settle(3), 3u) << "an address added";
    {
        std::lock_guard lock(reports.mutex);
        EXPECT_EQ(reports.changes[2], "address added on qv-dummy");
    }
    // A lease or router advertisement renews what is there: nothing changed.
    run({"ip", "addr", "change", "198.51.100.7/32", "dev", "qv-dummy", "valid_lft", "300",
         "preferred_lft", "300"});
    run({"ip", "route", "replace", "default", "via", "192.0.2.253", "dev", "qv-dummy"});
    EXPECT_EQ(reports.settle(3), 3u) << reports.changes.back();

    // A container's link, with no address and no default route, comes and goes.
    run({"ip", "link", "add", "qv-box", "type", "veth", "peer", "name", "qv-box-peer"});
    run({"ip", "link", "set", "qv-box", "up"});
    run({"ip", "link", "set", "qv-box-peer", "up"});
    run({"ip", "link", "del", "qv-box"});
    EXPECT_EQ(reports.settle(3), 3u) << reports.changes.back();

    // What a VPN tunnel does to the system while it comes and goes is not a change of
    // the network under it; nor are narrower routes or a link's statistics.
    run({"ip", "tuntap", "add", "dev", "tun9", "mode", "tun"});
    run({"ip", "addr", "add", "10.99.0.2/24", "dev", "tun9"});
    run({"ip", "link", "set", "tun9", "up"});
    run({"ip", "route", "add", "0.0.0.0/1", "dev", "tun9"});
    run({"ip", "route", "add", "203.0.113.0/24", "via", "192.0.2.254", "dev", "qv-dummy"});
    run({"ip", "link", "set", "qv-dummy", "mtu", "1400"});
    run({"ip", "link", "del", "tun9"});
    EXPECT_EQ(reports.settle(3), 3u) << reports.changes.back();

    run({"ip", "link", "set", "qv-dummy", "down"});
    EXPECT_EQ(reports.settle(4), 4u);
    run({"ip", "link", "del", "qv-dummy"});
    EXPECT_EQ(reports.settle(5), 5u);
    std::lock_guard lock(reports.mutex);
    EXPECT_EQ(reports.appeared, (std::vector<bool>{true, true, true, false, false}))
        << "a way out may have come with the link, the new route, the new address; not with "
           "the link going down or away";
}

TEST(NetworkWatcher, EndsPromptlyWithoutEvents) {
    const auto before = Clock::now();
    {
        NetworkWatcher watcher([](const NetworkWatcher::Change&) {});
        EXPECT_TRUE(watcher.watching());
    }
    EXPECT_LT(Clock::now() - before, 1s);
}

// The service connected through the real stack, with the network watched as the
// application watches it.
class Roaming : public testing::Test {
protected:
    void connect() {
        vpn.prepare("alice@example.com", "pw");
        vpn.service->startOpenVPN();
        ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << "\n"
                                                   << vpn.daemon.log();
        vpn.seenStates.clear();
    }
    // How long after `change` the window left CONNECTED for RECONNECTING.
    std::optional<Clock::duration> reconnectingAfter(const std::vector<std::string>& change) {
        vpn.seenStates.clear();
        const auto start = Clock::now();
        run(change);
        if (!vpn.mainQueue.drainUntil([&] { return seen(vpn, "RECONNECTING"); }, 5s))
            return std::nullopt;
        return Clock::now() - start;
    }

    VpnStack vpn{Accounts{{"alice@example.com", "pw"}}};
    NetworkWatcher watcher{[this](const NetworkWatcher::Change& change) {
        vpn.service->networkChanged(change.what, change.appeared);
    }};
};

TEST_F(Roaming, LinkAddressAndDefaultRouteChangesRestartTheTunnelAtOnceAndItComesBack) {
    connect();

    const auto down = reconnectingAfter({"ip", "link", "set", "qv-host", "down"});
    ASSERT_TRUE(down) << "link down: " << vpn.service->state();
    EXPECT_LT(*down, 2s);
    run({"ip", "link", "set", "qv-host", "up"});
    run({"ip", "route", "replace", "default", "via", serverAddress, "dev", "qv-host"});
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    EXPECT_TRUE(pingThroughTunnel()) << "after the link came back";

    const auto address =
        reconnectingAfter({"ip", "addr", "add", "198.51.100.7/32", "dev", "qv-host"});
    ASSERT_TRUE(address) << "address added: " << vpn.service->state();
    EXPECT_LT(*address, 2s);
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    EXPECT_TRUE(pingThroughTunnel()) << "after the address change";

    const auto route = reconnectingAfter({"ip", "route", "replace", "default", "dev", "qv-host"});
    ASSERT_TRUE(route) << "default route replaced: " << vpn.service->state();
    EXPECT_LT(*route, 2s);
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    EXPECT_TRUE(pingThroughTunnel()) << "after the default route changed";
    EXPECT_EQ(vpn.service->status().failure, "");
}

TEST_F(Roaming, WhileOpenVPNReconnectsAChangeThatBringsNoWayOutIsLeftToIt) {
    connect();
    Log::Capture log;
    ASSERT_TRUE(reconnectingAfter({"ip", "link", "set", "qv-host", "down"}));
    const auto restarts = [&] {
        const auto out = log.outputLines();
        return std::count(out.begin(), out.end(), "signal SIGUSR1\n");
    };
    ASSERT_EQ(restarts(), 1);
    // openvpn cannot reach its server with the link down, so it stays unconnected here.
    vpn.service->networkChanged("default route removed on qv-host", false);
    vpn.mainQueue.drain();
    EXPECT_EQ(restarts(), 1) << "as openvpn's own route changes while it connects";
    EXPECT_TRUE(log.systemContains("left to openvpn"));
    vpn.service->networkChanged("link qv-host up", true);
    vpn.mainQueue.drain();
    EXPECT_EQ(restarts(), 2) << "a way out may have come";
    run({"ip", "link", "set", "qv-host", "up"});
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
}

TEST_F(Roaming, WithReconnectingOffANetworkChangeEndsTheConnectionAndSaysWhy) {
    connect();
    vpn.service->setAutomaticReconnect(false);
    run({"ip", "addr", "add", "198.51.100.7/32", "dev", "qv-host"});
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 15s))
        << vpn.service->state();
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    // Traffic figures may still come while connected, before the change is acted on; once
    // the connection has left CONNECTED it must not claim it again.
    const auto left = std::find_if(vpn.seenStates.begin(), vpn.seenStates.end(),
                                   [](const std::string& state) { return state != "CONNECTED"; });
    EXPECT_EQ(std::find(left, vpn.seenStates.end(), "CONNECTED"), vpn.seenStates.end())
        << "never claimed connected again";
    EXPECT_EQ(vpn.service->status().failure, "The VPN connection was ended: address added on "
                                             "qv-host, and automatic reconnecting is off.");
}

TEST_F(Roaming, WithReconnectingOffADropEndsTheConnectionAndSaysWhy) {
    connect();
    vpn.service->setAutomaticReconnect(false);
    // What openvpn does by itself when its pings stop coming back.
    vpn.service->management().sendCommand("signal SIGUSR1\n");
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 15s));
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_EQ(vpn.service->status().failure,
              "The VPN connection dropped and automatic reconnecting is off, so it was ended.");

    vpn.service->setAutomaticReconnect(true);
    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << "a later connect works";
}

TEST_F(Roaming, LostManagementConnectionEndsTheRunWithinSeconds) {
    connect();
    Log::Capture log;
    const auto start = Clock::now();
    vpn.service->management().socket().close(); // openvpn runs on, unsteerable
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 15s));
    vpn.mainQueue.drain();
    EXPECT_LT(Clock::now() - start, RunTiming{}.managementLoss + 3s);
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_EQ(vpn.service->status().failure, "The connection to the VPN's control port broke.");
    EXPECT_NE(vpn.daemon.log().find("request killOpenVPN"), std::string::npos);
}

TEST_F(Roaming, HelperKilledWhileConnectedIsAskedAgainOnceItIsBack) {
    connect();
    Log::Capture log;
    vpn.daemon.kill(SIGKILL);
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return seen(vpn, "RECONNECTING"); }, 5s))
        << vpn.service->state();
    // Back only after the application has asked in vain at least once.
    ASSERT_TRUE(
        vpn.mainQueue.drainUntil([&] { return log.systemContains("(attempt 2 of 5)"); }, 5s));
    vpn.daemon.start();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << "\n" << vpn.daemon.log();
    EXPECT_TRUE(pingThroughTunnel());
    EXPECT_TRUE(log.systemContains("the VPN helper went away; asking it again"));
    EXPECT_EQ(vpn.service->status().failure, "");

    // Stopped the way systemd stops it for an upgrade: it ends its openvpn and says so.
    vpn.seenStates.clear();
    vpn.daemon.kill(SIGTERM);
    vpn.daemon.start();
    ASSERT_TRUE(vpn.mainQueue.drainUntil(
        [&] { return seen(vpn, "RECONNECTING") && vpn.service->state() == "CONNECTED"; }, 30s))
        << vpn.service->state() << "\n"
        << vpn.daemon.log();
    EXPECT_TRUE(pingThroughTunnel());

    vpn.service->stopOpenVPN();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    EXPECT_EQ(vpn.service->status().failure, "");
}

TEST_F(Roaming, TheRunAskedOfARestartedHelperBlocksLeaksAsTheFirstDid) {
    vpn.service->setLeakBlock({true, false});
    connect();
    vpn.daemon.kill(SIGTERM);
    const size_t before = vpn.daemon.log().size(); // the log goes on in the same file
    vpn.daemon.start();
    ASSERT_TRUE(vpn.mainQueue.drainUntil(
        [&] { return seen(vpn, "RECONNECTING") && vpn.service->state() == "CONNECTED"; }, 30s))
        << vpn.service->state() << "\n"
        << vpn.daemon.log();
    const std::string restarted = vpn.daemon.log().substr(before);
    EXPECT_NE(restarted.find("blocking traffic outside the tunnel"), std::string::npos)
        << restarted;
    vpn.service->stopOpenVPN();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s));
}

TEST_F(Roaming, HelperRestartedWhileDisconnectedServesTheNextConnect) {
    connect();
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    vpn.daemon.kill(SIGKILL);
    vpn.daemon.start();
    vpn.mainQueue.drainUntil([] { return false; }, 200ms); // the broken connection is let go
    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << "\n" << vpn.daemon.log();
    EXPECT_EQ(vpn.service->status().failure, "");
}

TEST_F(Roaming, HelperThatDoesNotComeBackEndsTheConnectionAndSaysSo) {
    connect();
    vpn.daemon.kill(SIGKILL);
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 30s))
        << vpn.service->state();
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_NE(vpn.service->status().failure.plain().find("The VPN helper could not be reached"),
              std::string::npos);
}

TEST_F(Roaming, StopDuringAHelperRetryEndsAtOnceWithoutAFailure) {
    connect();
    vpn.daemon.kill(SIGKILL);
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return seen(vpn, "RECONNECTING"); }, 5s));
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 10s));
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_EQ(vpn.service->status().failure, "");
}

} // namespace

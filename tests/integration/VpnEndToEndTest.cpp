#include "ChildProcess.h"
#include "LoopbackServer.h"
#include "Poll.h"
#include "VpnStack.h"
#include "platform/Log.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Accounts = std::vector<OpenVPNServer::Account>;

size_t indexOf(const std::vector<std::string>& words, const std::string& word) {
    return static_cast<size_t>(std::find(words.begin(), words.end(), word) - words.begin());
}

// Connects as alice@example.com / pw; the pid of the run's openvpn once CONNECTED.
std::optional<pid_t> connectAndFindOpenVPN(VpnStack& vpn) {
    vpn.prepare("alice@example.com", "pw");
    vpn.service->startOpenVPN();
    if (!vpn.waitForState("CONNECTED"))
        return std::nullopt;
    return vpn.daemon.openVPNPid();
}

TEST(VpnEndToEnd, StartConnectsCarriesAPacketAndStopReturnsToNoProcess) {
    VpnStack vpn(Accounts{{"alice@example.com", "correct horse"}});
    Log::Capture log;
    vpn.prepare("alice@example.com", "correct horse");
    vpn.service->startOpenVPN();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS") << "a successful start changes no state by itself";
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << "\n" << vpn.daemon.log();

    EXPECT_EQ(runCommand({"ping", "-c", "1", "-W", "5", OpenVPNServer::tunnelAddress}), 0)
        << "the server's tunnel address lives only in its own namespace: the packet crossed the "
           "tunnel";

    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s)) << vpn.service->state();
    EXPECT_TRUE(log.systemContains("OpenVPN exited: termiationStatus=0"));
    const auto& seen = vpn.seenStates;
    EXPECT_LT(indexOf(seen, "CONNECTED"), indexOf(seen, "EXITING"));
    EXPECT_LT(indexOf(seen, "EXITING"), seen.size());
    EXPECT_EQ(seen.back(), "NOPROCESS");
    const auto out = log.outputLines();
    EXPECT_NE(std::find(out.begin(), out.end(), "password 'Auth' [...]\n"), out.end());
    for (const auto& line : out)
        EXPECT_EQ(line.find("correct horse"), std::string::npos)
            << "no password on standard output";
}

TEST(VpnEndToEnd, CredentialsWithBlanksQuotesBackslashesAndLettersAuthenticate) {
    const std::string user = "Zoë O'Brien@example.com";
    const std::string password = "p a\"s's \\w0rd ñ 密码 ";
    VpnStack vpn(Accounts{{user, password}});
    vpn.prepare(user, password);
    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << "\n" << vpn.server.log();
}

TEST(VpnEndToEnd, WrongPasswordEndsInNoProcess) {
    VpnStack vpn(Accounts{{"alice@example.com", "correct horse"}});
    Log::Capture log;
    vpn.prepare("alice@example.com", "battery staple");
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil(
        [&] { return log.systemContains("OpenVPN exited") && vpn.service->state() == "NOPROCESS"; },
        30s))
        << vpn.service->state();
    vpn.mainQueue.drainUntil([] { return false; }, 500ms);
    EXPECT_EQ(vpn.service->state(), "NOPROCESS")
        << "openvpn's last words are handled before its end";
    EXPECT_EQ(vpn.seenStates.back(), "NOPROCESS");
    EXPECT_TRUE(log.outputContains("AUTH_FAILED"));
    EXPECT_EQ(vpn.service->status().failure,
              "The VPN server did not accept the e-mail address or password.");
}

TEST(VpnEndToEnd, ProfileThatForgetsCredentialsIsAnsweredAgainAfterAReconnect) {
    VpnStack vpn(Accounts{{"alice@example.com", "correct horse"}});
    Log::Capture log;
    vpn.prepare("alice@example.com", "correct horse");
    vpn.dir.write("quovant.ovpn", vpn.server.clientProfile() + "auth-nocache\n",
                  std::filesystem::perms(0600));
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    // As after a network change: openvpn starts over and, told not to keep them, asks
    // for the credentials again.
    ASSERT_TRUE(vpn.restartAndWaitForConnected()) << vpn.service->state() << "\n"
                                                  << vpn.daemon.log();
    EXPECT_EQ(vpn.service->status().failure, "");
    const auto out = log.outputLines();
    EXPECT_EQ(std::count(out.begin(), out.end(), "password 'Auth' [...]\n"), 2)
        << "once with the opening commands, once for the second prompt";
    vpn.service->stopOpenVPN();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    EXPECT_EQ(vpn.service->status().failure, "") << "a disconnect the user asked for is no failure";
}

TEST(VpnEndToEnd, ControlCharacterInACredentialIsRefusedBeforeAnythingIsSent) {
    VpnStack vpn(Accounts{{"alice@example.com", "correct horse"}});
    Log::Capture log;
    vpn.prepare("alice@example.com", "correct\nsignal SIGTERM");
    vpn.service->startOpenVPN();
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.seenStates, std::vector<std::string>{"NOPROCESS"});
    EXPECT_TRUE(log.systemContains("control character"));
    for (const auto& line : log.systemLines())
        EXPECT_EQ(line.find("correct"), std::string::npos);
    EXPECT_EQ(vpn.daemon.log().find("request runOpenVPN"), std::string::npos)
        << "no run request was made";
}

TEST(VpnEndToEnd, WithoutHelperNothingIsTriedAndTheWindowLearnsWhy) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}}, false);
    vpn.prepare("alice@example.com", "pw");
    vpn.service->startOpenVPN();
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.seenStates, std::vector<std::string>{"NOPROCESS"});
    EXPECT_EQ(vpn.service->status().failure, "No VPN helper answers.");
    EXPECT_EQ(vpn.service->status().failureCount, 1u) << "told once";
}

TEST(VpnEndToEnd, SquatterOnTheOldManagementPortGetsNothingAndChangesNothing) {
    // Another local user listens on 127.0.0.1:1337, where openvpn's management interface
    // used to be: the run no longer goes near any TCP port.
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    int stop[2];
    ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::close(stop[1]);
        LoopbackServer listener(1337);
        [[maybe_unused]] const ssize_t r = ::write(ready[1], "x", 1);
        std::string received;
        int connections = 0;
        // Until the test is done with its run.
        for (pollfd done{stop[0], POLLIN, 0}; ::poll(&done, 1, 0) == 0;) {
            if (listener.accept(200ms)) {
                ++connections;
                received += listener.receive(200ms);
            }
        }
        const std::string result =
            std::to_string(connections) + " " + std::to_string(received.size());
        [[maybe_unused]] const ssize_t n = ::write(report[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(report[1]);
    ::close(ready[1]);
    ::close(stop[0]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    VpnStack vpn(Accounts{{"alice@example.com", "correct horse"}});
    vpn.prepare("alice@example.com", "correct horse");
    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << vpn.daemon.log();
    vpn.service->stopOpenVPN();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s));

    ::close(stop[1]);
    char buffer[64] = {};
    ASSERT_GT(::read(report[0], buffer, sizeof buffer - 1), 0);
    ::close(report[0]);
    ::close(ready[0]);
    ::waitpid(squatter, nullptr, 0);
    EXPECT_STREQ(buffer, "0 0") << "the squatter was never contacted";
}

TEST(VpnEndToEnd, OpenVPNKilledFromOutsideReturnsToNoProcess) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}});
    Log::Capture log;
    const auto pid = connectAndFindOpenVPN(vpn);
    ASSERT_TRUE(pid) << vpn.service->state() << "\n" << vpn.daemon.log();
    ::kill(*pid, SIGKILL);
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 15s));
    EXPECT_TRUE(log.systemContains("OpenVPN exited: termiationStatus=137"));
}

TEST(VpnEndToEnd, HelperThatHangsIsGivenUpAndItsLateRunEnded) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}}, true, 1s);
    vpn.prepare("alice@example.com", "pw");
    vpn.daemon.process().signal(SIGSTOP);
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 10s));
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_EQ(vpn.service->status().failure,
              "The VPN helper did not start the connection in time.");

    // The helper wakes up, runs what it was asked, and ends it as asked next.
    vpn.daemon.process().signal(SIGCONT);
    EXPECT_TRUE(
        pollUntil([&] { return vpn.daemon.log().find("openvpn ended") != std::string::npos; }, 20s))
        << vpn.daemon.log();
    const auto pid = vpn.daemon.openVPNPid();
    EXPECT_TRUE(pid && ::kill(*pid, 0) != 0) << "no openvpn is left";
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");

    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << "a later start works\n" << vpn.daemon.log();
}

TEST(VpnEndToEnd, HungOpenVPNIsEndedThroughTheHelperWhenItDoesNotAnswer) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}});
    Log::Capture log;
    const auto pid = connectAndFindOpenVPN(vpn);
    ASSERT_TRUE(pid) << vpn.service->state() << "\n" << vpn.daemon.log();
    ::kill(*pid, SIGSTOP); // it can read no command any more
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 30s))
        << vpn.daemon.log();
    vpn.mainQueue.drain();
    EXPECT_EQ(vpn.service->state(), "NOPROCESS");
    EXPECT_TRUE(log.systemContains("openvpn did not stop when asked; asking the helper to end it"));
    EXPECT_NE(vpn.daemon.log().find("request killOpenVPN"), std::string::npos);
    EXPECT_EQ(vpn.service->status().failure, "") << "the user asked for it";
}

size_t threadCount() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                             std::filesystem::directory_iterator()));
}

// The kernel's ids of this process's threads; a thread started later gets a new one.
std::set<std::string> threadIds() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(entry.path().filename().string());
    return ids;
}

// openvpn tries the servers of the profile in turn: one that refuses is passed over for
// the next, and once every one has refused, the run ends at once, the way open, with
// openvpn's reason.
TEST(VpnEndToEnd, EachServerOfTheProfileIsTriedAndTheRunEndsOnceAllRefused) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}}, true, RunTiming{}.start, true);
    vpn.prepare("alice@example.com", "pw");
    const std::string answering = "remote " + std::string(OpenVPNServer::linkAddress) + " 1194\n";
    // Nothing listens on these ports in the server's namespace: its kernel refuses.
    auto refusing = [](int port) {
        return "remote " + std::string(OpenVPNServer::linkAddress) + " " + std::to_string(port) +
               " tcp\n";
    };
    auto profileWith = [&](const std::string& remotes) {
        std::string profile = vpn.server.clientProfile();
        profile.replace(profile.find(answering), answering.size(), remotes);
        *vpn.service->config =
            vpn.dir.write("quovant.ovpn", profile, std::filesystem::perms(0600)).string();
    };

    profileWith(refusing(1195) + refusing(1196));
    const auto start = std::chrono::steady_clock::now();
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil(
        [&] {
            return vpn.service->status().phase == RunPhase::idle &&
                   vpn.service->status().failureCount > 0;
        },
        30s))
        << vpn.service->state() << "\n"
        << vpn.daemon.log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s) << "not a handshake window";
    EXPECT_EQ(vpn.service->status().failure,
              ConnectAttempts::failure(ConnectAttempts::Problem::refused));
    for (const char* port :
         {":1195 failed: Connection refused", ":1196 failed: Connection refused"})
        EXPECT_NE(vpn.daemon.log().find(port), std::string::npos) << "each server was tried\n"
                                                                  << vpn.daemon.log();
    EXPECT_FALSE(vpn.service->blocked()) << "never up: the way is open";

    profileWith(refusing(1195) + answering);
    vpn.service->startOpenVPN();
    EXPECT_TRUE(vpn.waitForState("CONNECTED")) << vpn.daemon.log();
}

TEST(VpnEndToEnd, SecondStartAfterAStopWorksOnTheSameService) {
    VpnStack vpn(Accounts{{"alice@example.com", "pw"}});
    vpn.prepare("alice@example.com", "pw");
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED"));
    const size_t threadsWhileConnected = threadCount();
    const auto threadsOfTheFirstRun = threadIds();
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));

    vpn.seenStates.clear();
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    EXPECT_EQ(threadCount(), threadsWhileConnected)
        << "the first read loop ended with its connection";
    EXPECT_EQ(threadIds(), threadsOfTheFirstRun)
        << "the threads that served the first run serve the second: none is started per run";
    vpn.service->stopOpenVPN();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s));
}

} // namespace

// The real quovant binary, as an ordinary user under Xvfb, against the real account
// service, helper daemon and openvpn server: what a user's clicks lead to.
#include "PrivateSystemBus.h"
#include "ProductStack.h"
#include "TrafficProbe.h"
#include "vpn/ConnectAttempts.h"
#include "vpn/RunMachine.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

#ifndef QUOVANT_TEST_SCREENSHOT_DIR
#error "QUOVANT_TEST_SCREENSHOT_DIR must name where screenshots go"
#endif
#ifndef QUOVANT_TEST_CLIENT
#error "QUOVANT_TEST_CLIENT must name the quovant-test-client program"
#endif

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::string screenshotPath(const std::string& name) {
    return std::string(QUOVANT_TEST_SCREENSHOT_DIR) + "/" + name + ".png";
}

// Starts quovant, logs in through its window and waits for CONNECTED; empty if that fails.
std::unique_ptr<ChildProcess> connectThroughTheWindow(ProductStack& stack) {
    auto quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    if (window.empty())
        return nullptr;
    stack.logIn(window);
    if (!pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s))
        return nullptr;
    return quovant;
}

// Starts quovant, logs in through its window and waits until it tells the user `failure`
// in an alert of its own.
::testing::AssertionResult loginFails(ProductStack& stack, std::unique_ptr<ChildProcess>& quovant,
                                      const std::string& failure) {
    quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    if (window.empty())
        return ::testing::AssertionFailure() << "no window\n" << stack.appLog();
    const size_t windows = stack.visibleWindows();
    stack.logIn(window);
    if (!pollUntil([&] { return stack.logged("connecting failed: " + failure); }, 60s))
        return ::testing::AssertionFailure() << stack.appLog() << stack.helper.log();
    if (!pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        return ::testing::AssertionFailure() << "no alert shows";
    return ::testing::AssertionSuccess();
}

// Kills openvpn as a crash would and waits until the application says the block holds.
bool dropTheRun(ProductStack& stack) {
    const auto pid = stack.helper.openVPNPid();
    if (!pid)
        return false;
    ::kill(*pid, SIGKILL);
    return pollUntil([&] { return stack.logged("traffic outside the VPN stays blocked"); }, 30s);
}

// Waits until the application logs CONNECTED after it has logged `mark`.
bool connectedAfter(ProductStack& stack, const std::string& mark) {
    return pollUntil(
        [&] {
            const std::string log = stack.appLog();
            return log.find("\nCONNECTED\n", log.find(mark)) != std::string::npos;
        },
        60s);
}

TEST(Product, AClickWhileLoggingInCancelsItAndALaterConnectWorks) {
    // A slow account service: the login and the profile take a second each.
    ProductStack stack(true, {"--delay", "1"});
    auto quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    ASSERT_FALSE(window.empty()) << stack.appLog();
    stack.logIn(window);
    ASSERT_TRUE(stack.chooseConnectItemFromTray()); // cancels
    ASSERT_TRUE(pollUntil([&] { return stack.logged("the login was cancelled"); }, 10s))
        << stack.appLog();
    ASSERT_TRUE(stack.chooseConnectItemFromTray()); // a new login
    ASSERT_TRUE(pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s)) << stack.appLog();
    EXPECT_EQ(occurrences(stack.helper.log(), "openvpn started"), 1u)
        << "the cancelled login, which would have ended first, started nothing\n"
        << stack.helper.log();

    ASSERT_TRUE(stack.chooseConnectItemFromTray()); // disconnects
    ASSERT_TRUE(pollUntil(
        [&] { return stack.helper.log().find("openvpn ended") != std::string::npos; }, 30s));
    ASSERT_TRUE(pollUntil([&] { return stack.logged("\nNOPROCESS\n"); }, 15s));
    ASSERT_TRUE(stack.chooseConnectItemFromTray()); // and connects again
    EXPECT_TRUE(connectedAfter(stack, "\nNOPROCESS\n")) << stack.appLog();
    EXPECT_EQ(occurrences(stack.helper.log(), "openvpn started"), 2u);
    EXPECT_EQ(stack.appLog().find("connecting failed"), std::string::npos) << stack.appLog();
}

TEST(Product, TerminationSignalDisconnectsFirstAndQuitsWithinSeconds) {
    ProductStack stack(true);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();

    const auto start = std::chrono::steady_clock::now();
    quovant->signal(SIGTERM);
    const auto status = quovant->waitFor(15s);
    ASSERT_TRUE(status) << "still running after SIGTERM\n" << stack.appLog();
    EXPECT_EQ(*status, 0) << "a clean quit\n" << stack.appLog();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    const std::string log = stack.appLog();
    const size_t asked = log.find("asked to quit: disconnecting first");
    ASSERT_NE(asked, std::string::npos) << log;
    EXPECT_NE(log.find("\nNOPROCESS\n", asked), std::string::npos)
        << "openvpn had ended before the application did\n"
        << log;
    EXPECT_NE(stack.helper.log().find("openvpn ended with status 0"), std::string::npos);
    EXPECT_EQ(stack.helper.log().find("the client that started it went away"), std::string::npos)
        << "the helper did not have to end it\n"
        << stack.helper.log();
}

TEST(Product, StatusLineShowsTheLiveTunnel) {
    ProductStack stack(true);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    // Some traffic for the counts, which openvpn reports each second.
    EXPECT_EQ(runCommand({"ping", "-c", "20", "-i", "0.05", "-s", "1000", "-W", "5",
                          OpenVPNServer::tunnelAddress}),
              0);
    const size_t windows = stack.visibleWindows();
    ASSERT_TRUE(stack.hoverTrayIcon());
    // Qt shows the tooltip after the pointer rests for a moment, as a window of its own.
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s));
    stack.screenshot(screenshotPath("product-tray-tooltip"));
}

TEST(Product, ConnectAtStartConnectsWithTheRememberedCredentials) {
    ProductStack stack(true);
    // What an earlier run left: the credentials remembered (no keyring in this session,
    // so the password is in the file) and "Verbinden bij starten" ticked.
    std::filesystem::create_directories(stack.configDir() / "Quovant");
    std::ofstream(stack.configDir() / "Quovant" / "Quovant.conf")
        << "[General]\nconnectAtStart=true\nemail=" << ProductStack::email
        << "\npassword=" << ProductStack::password << "\n";
    auto quovant = stack.startQuovant();
    ASSERT_TRUE(pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s)) << stack.appLog();
    EXPECT_EQ(occurrences(stack.account->recorded(), "POST /api/login"), 1u);
}

TEST(Product, AnotherUsersVPNIsTheReasonTheWindowShows) {
    ProductStack stack(true);
    // Another local user's VPN runs through the same helper.
    TempDir shared("quovant-other-user");
    const auto profile =
        shared.write("other.ovpn", stack.server.clientProfile(), std::filesystem::perms(0600));
    ASSERT_EQ(::chown(profile.c_str(), 1001, 1001), 0);
    ChildProcess::Options options;
    options.uid = 1001;
    options.outputFile = (shared / "other.out").string();
    ChildProcess other({QUOVANT_TEST_CLIENT, "hold", stack.helper.socketPath(), profile.string(),
                        stack.helper.upScript(), stack.helper.downScript()},
                       options);
    ASSERT_TRUE(pollUntil(
        [&] { return readFile(shared / "other.out").find("started") != std::string::npos; }, 30s))
        << stack.helper.log();

    auto quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    ASSERT_FALSE(window.empty()) << stack.appLog();
    const size_t windows = stack.visibleWindows();
    stack.logIn(window);
    const std::string alert =
        "connecting failed: Another user's VPN connection is running on this computer.";
    ASSERT_TRUE(pollUntil([&] { return stack.logged(alert); }, 30s)) << stack.appLog();
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        << "the alert shows";
    stack.screenshot(screenshotPath("alert-another-users-vpn"));
    EXPECT_EQ(occurrences(stack.helper.log(), "openvpn started"), 1u) << "only the other user's";
    EXPECT_TRUE(other.running());
}

TEST(Product, ADropLeavesTheMachineBlockedAndSaysSoUntilTheUserChooses) {
    ProductStack stack(true);
    TrafficProbe::FarSide far(stack.server);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    EXPECT_NE(stack.helper.log().find("blocking traffic outside the tunnel tun"), std::string::npos)
        << "the block is on by default\n"
        << stack.helper.log();
    EXPECT_TRUE(TrafficProbe::onlyTheTunnelCarries(far));

    const size_t windows = stack.visibleWindows();
    ASSERT_TRUE(dropTheRun(stack)) << stack.appLog();
    EXPECT_TRUE(TrafficProbe::tableExists());
    EXPECT_TRUE(TrafficProbe::blocked(far));
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        << "the question shows";
    stack.screenshot(screenshotPath("product-blocked"));

    // The tray's item reconnects with what the dropped run had: no login, which the block
    // would keep from the account service.
    ASSERT_TRUE(stack.chooseConnectItemFromTray());
    ASSERT_TRUE(connectedAfter(stack, "reconnecting through the block")) << stack.appLog();
    EXPECT_EQ(occurrences(stack.account->recorded(), "POST /api/login"), 1u);
    EXPECT_TRUE(TrafficProbe::onlyTheTunnelCarries(far));

    // The user's disconnect opens the way.
    ASSERT_TRUE(stack.chooseConnectItemFromTray());
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 30s)) << stack.helper.log();
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
}

// The VPN server refuses what the account service accepted: the tunnel was never up, so
// nothing stays blocked, and the user is told that the password was refused.
TEST(Product, AWrongVPNPasswordSaysSoAndLeavesTheWayOpen) {
    ProductStack stack(true);
    TrafficProbe::FarSide far(stack.server);
    stack.server.changePassword(0, "changed on the server");
    std::unique_ptr<ChildProcess> quovant;
    ASSERT_TRUE(loginFails(stack, quovant, RunMachine::wrongVpnCredentials));
    stack.screenshot(screenshotPath("product-wrong-vpn-password"));
    EXPECT_FALSE(stack.logged("stays blocked")) << stack.appLog();
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 15s)) << stack.helper.log();
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
}

// The server's UDP is dropped before the click: openvpn never hears from it, and the
// connection ends within openvpn's handshake window, with the way open, no openvpn left
// and the alert that says why; a `connect --wait` that joined the attempt ends with
// status 1 and the same words.
TEST(Product, AServerThatNeverAnswersEndsTheConnectWithTheWayOpen) {
    ProductStack stack(true);
    TrafficProbe::FarSide far(stack.server);
    std::filesystem::create_directories(stack.configDir() / "Quovant");
    std::ofstream(stack.configDir() / "Quovant" / "Quovant.conf")
        << "[General]\nemail=" << ProductStack::email << "\npassword=" << ProductStack::password
        << "\n";
    const std::string serverNamespace = std::to_string(stack.server.namespacePid());
    ASSERT_EQ(runCommand({"nsenter", "-t", serverNamespace, "-n", "nft",
                          "add table inet drop_vpn; add chain inet drop_vpn input { type filter "
                          "hook input priority -10; udp dport 1194 drop; }"}),
              0);

    auto quovant = stack.startQuovant();
    const std::string window = stack.waitForWindow();
    ASSERT_FALSE(window.empty()) << stack.appLog();
    const size_t windows = stack.visibleWindows();
    // The remembered credentials are in the form: a click on the connect button connects.
    outputOf({"xdotool", "mousemove", "--window", window, "170", "345", "click", "1"});
    const auto clicked = std::chrono::steady_clock::now();
    ASSERT_TRUE(pollUntil(
        [&] { return stack.helper.log().find("openvpn started") != std::string::npos; }, 30s))
        << stack.appLog() << stack.helper.log();
    const auto openvpn = stack.helper.openVPNPid();
    ASSERT_TRUE(openvpn);
    const std::string joined = (stack.configDir() / "connect.out").string();
    auto command = stack.startQuovantCommand({"connect", "--wait"}, joined);
    // The status line, as the command prints it, says what openvpn waits for.
    const std::string waiting = ConnectAttempts::progress("WAIT", {}).plain();
    EXPECT_TRUE(pollUntil(
        [&] { return stack.runQuovant({"status"}).output.find(waiting) != std::string::npos; },
        10s))
        << stack.runQuovant({"status"}).output;
    stack.screenshot(screenshotPath("product-waiting-for-the-server"));

    const std::string failure = ConnectAttempts::failure(ConnectAttempts::Problem::none).plain();
    // One server in the profile: its window, and 5 s for the end to reach the window.
    const auto limit = clicked + RunTiming{}.serverWindow + 5s;
    ASSERT_TRUE(pollUntil([&] { return stack.logged("connecting failed: " + failure); },
                          std::chrono::duration_cast<std::chrono::milliseconds>(
                              limit - std::chrono::steady_clock::now())))
        << stack.appLog();
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        << "the alert shows";
    stack.screenshot(screenshotPath("product-server-never-answers"));
    EXPECT_TRUE(pollUntil([&] { return ::kill(*openvpn, 0) != 0 && errno == ESRCH; }, 10s))
        << "no openvpn is left\n"
        << stack.helper.log();
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 10s)) << stack.helper.log();
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
    EXPECT_FALSE(stack.logged("stays blocked")) << stack.appLog();

    EXPECT_EQ(command->waitFor(10s), 1) << readFile(joined);
    EXPECT_NE(readFile(joined).find(failure), std::string::npos) << readFile(joined);
}

// The server's UDP is dropped under a tunnel that was up and openvpn starts over: the
// block holds while openvpn goes on trying, and after a minute the window asks once,
// with both ways out, and the tray offers them too; the tray's disconnect opens the way.
TEST(Product, ATunnelRemadeForLongSaysSoOnceAndOffersBothWaysOut) {
    ProductStack stack(true);
    TrafficProbe::FarSide far(stack.server);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    const size_t windows = stack.visibleWindows();
    ASSERT_EQ(runCommand({"nsenter", "-t", std::to_string(stack.server.namespacePid()), "-n", "nft",
                          "add table inet drop_vpn; add chain inet drop_vpn input { type filter "
                          "hook input priority -10; udp dport 1194 drop; }"}),
              0);
    // What a network change or openvpn's own ping timeout would do, at once.
    const auto openvpn = stack.helper.openVPNPid();
    ASSERT_TRUE(openvpn);
    ::kill(*openvpn, SIGUSR1);
    ASSERT_TRUE(pollUntil([&] { return stack.logged("\nRECONNECTING\n"); }, 10s));
    const auto dropped = std::chrono::steady_clock::now();

    const std::string told = "the tunnel is still being remade";
    ASSERT_TRUE(pollUntil([&] { return stack.logged(told); }, RunTiming{}.reconnectNotice + 10s))
        << stack.appLog();
    EXPECT_GE(std::chrono::steady_clock::now() - dropped, RunTiming{}.reconnectNotice - 1s);
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        << "the question shows";
    stack.screenshot(screenshotPath("product-still-reconnecting"));
    EXPECT_TRUE(TrafficProbe::blocked(far));
    const std::string status = stack.runQuovant({"status", "--json"}).output;
    EXPECT_NE(status.find("\"phase\":\"reconnecting\""), std::string::npos) << status;
    EXPECT_NE(status.find("Still reconnecting; traffic outside the VPN stays blocked"),
              std::string::npos)
        << status;
    EXPECT_EQ(occurrences(stack.appLog(), told), 1u);

    // The tray's disconnect item, after "Quovant openen" and the connect item.
    ASSERT_TRUE(stack.chooseItemFromTray(2));
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 15s)) << stack.helper.log();
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
    EXPECT_EQ(occurrences(stack.appLog(), told), 1u) << "told once";
}

// Quitting from the tray while traffic flows through the tunnel ends the VPN first and
// the application cleanly, every time.
TEST(Product, QuittingFromTheTrayWhileTrafficFlowsEndsCleanlyEveryTime) {
    ProductStack stack(true);
    for (int round = 0; round < 20; ++round) {
        auto quovant = connectThroughTheWindow(stack);
        ASSERT_TRUE(quovant) << "round " << round << "\n" << stack.appLog();
        ChildProcess ping({"ping", "-i", "0.2", "-W", "1", OpenVPNServer::tunnelAddress});
        // "Afsluiten", after "Quovant openen", the connect item, "Automatisch opnieuw
        // verbinden", the two start items and the two block items.
        ASSERT_TRUE(stack.chooseItemFromTray(7));
        const auto status = quovant->waitFor(15s);
        ASSERT_TRUE(status) << "round " << round << ": still running\n" << stack.appLog();
        EXPECT_EQ(*status, 0) << "round " << round << "\n" << stack.appLog();
        EXPECT_TRUE(pollUntil(
            [&] {
                return occurrences(stack.helper.log(), "openvpn ended") ==
                       static_cast<size_t>(round) + 1;
            },
            10s))
            << "round " << round << ": openvpn left\n"
            << stack.helper.log();
        EXPECT_NE(stack.appLog().find("\nNOPROCESS\n"), std::string::npos)
            << "round " << round << ": the VPN had ended before the application did";
        std::filesystem::remove(stack.logFile());
    }
}

TEST(Product, SwitchingTheBlockOffWhileItHoldsOpensTheWayAndClosesTheQuestion) {
    ProductStack stack(true);
    auto remembered = [&](const std::string& setting) {
        return readFile(stack.configDir() / "Quovant" / "Quovant.conf").find(setting) !=
               std::string::npos;
    };
    TrafficProbe::FarSide far(stack.server);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    const size_t windows = stack.visibleWindows();
    ASSERT_TRUE(dropTheRun(stack)) << stack.appLog();
    ASSERT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s))
        << "the alert asking what to do opens";
    const size_t withQuestion = stack.visibleWindows();
    ASSERT_TRUE(TrafficProbe::tableExists());

    // The tray's "Blokkeer internet zonder VPN", after "Quovant openen", the connect item, the
    // disconnect item (there while blocked), "Automatisch opnieuw verbinden" and the two
    // start items.
    ASSERT_TRUE(stack.chooseItemFromTray(6));
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 15s))
        << stack.appLog() << stack.helper.log();
    EXPECT_TRUE(stack.logged("the user switched the block off while it held")) << stack.appLog();
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() == withQuestion - 1; }, 5s))
        << "the question about the block is gone with it";
    stack.screenshot(screenshotPath("product-block-switched-off"));
    EXPECT_TRUE(remembered("blockLeaks=false"));

    // Ticked again, it guards the next run.
    ASSERT_TRUE(stack.chooseItemFromTray(5));
    ASSERT_TRUE(pollUntil([&] { return remembered("blockLeaks=true"); }, 5s));
    EXPECT_FALSE(TrafficProbe::tableExists());
    ASSERT_TRUE(stack.chooseConnectItemFromTray());
    EXPECT_TRUE(pollUntil(
        [&] {
            return occurrences(stack.helper.log(), "blocking traffic outside the tunnel tun") == 2;
        },
        60s))
        << stack.helper.log();

    // Unticked while that run goes on, it stays guarded; when it drops, no block is left.
    ASSERT_TRUE(connectedAfter(stack, "no longer blocked")) << stack.appLog();
    ASSERT_TRUE(stack.chooseItemFromTray(5));
    ASSERT_TRUE(pollUntil([&] { return remembered("blockLeaks=false"); }, 5s));
    EXPECT_TRUE(TrafficProbe::tableExists());
    const auto pid = stack.helper.openVPNPid();
    ASSERT_TRUE(pid);
    ::kill(*pid, SIGKILL);
    EXPECT_TRUE(pollUntil([&] { return stack.logged("connecting failed: "); }, 30s))
        << stack.appLog();
    EXPECT_TRUE(pollUntil([] { return !TrafficProbe::tableExists(); }, 15s)) << stack.helper.log();
    EXPECT_EQ(occurrences(stack.appLog(), "traffic outside the VPN stays blocked"), 1u);
}

// polkit, asked by the helper, would want an administrator's password for this user (no
// rule names them, and they have no active session here); the helper never has polkit ask,
// so the run is refused, and the window says why.
TEST(Product, ARunPolkitDoesNotAllowIsRefusedAndTheWindowSaysWhy) {
    ProductStack stack(true);
    // polkitd reads actions from this directory alone.
    const std::filesystem::path actions = "/usr/share/polkit-1/actions/org.quovant.helper.policy";
    const bool ours = !std::filesystem::exists(actions);
    if (ours)
        std::filesystem::copy_file(
            std::string(QUOVANT_TEST_SOURCE_DIR) + "/packaging/org.quovant.helper.policy", actions);
    struct Remove {
        std::filesystem::path path;
        ~Remove() {
            if (!path.empty())
                std::filesystem::remove(path);
        }
    } remove{ours ? actions : std::filesystem::path()};
    PrivateSystemBus bus(stack.helper.systemBusSocket());
    ChildProcess::Options options;
    options.extraEnvironment = {"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address()};
    ChildProcess polkitd({"/usr/lib/polkit-1/polkitd", "--no-debug"}, options);
    ASSERT_TRUE(pollUntil(
        [&] {
            return runCommand({"busctl", "--address=" + bus.address(), "status",
                               "org.freedesktop.PolicyKit1"}) == 0;
        },
        10s));

    std::unique_ptr<ChildProcess> quovant;
    ASSERT_TRUE(loginFails(stack, quovant,
                           "You may not change this computer's network: that is for the user at "
                           "the computer, in its active session, or for an administrator."));
    stack.screenshot(screenshotPath("alert-polkit-refused"));
    EXPECT_EQ(stack.helper.log().find("openvpn started"), std::string::npos);
    EXPECT_EQ(stack.helper.log().find("could not ask polkit"), std::string::npos);
}

// Another program of the user's (a second Quovant, a script) ends the block: the window
// follows, and says who opened the way.
TEST(Product, ABlockAnotherProgramEndsNoLongerShowsAsBlocked) {
    ProductStack stack(true);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    const size_t windows = stack.visibleWindows();
    ASSERT_TRUE(dropTheRun(stack)) << stack.appLog();
    ASSERT_TRUE(pollUntil([&] { return stack.visibleWindows() > windows; }, 5s));
    const size_t withQuestion = stack.visibleWindows();

    ChildProcess::Options options;
    options.uid = ProductStack::appUid;
    ChildProcess release({QUOVANT_TEST_CLIENT, "release", stack.helper.socketPath()}, options);
    ASSERT_TRUE(release.waitFor(15s));
    const std::string told = "Another program of yours ended the block of traffic outside the VPN.";
    EXPECT_TRUE(pollUntil(
        [&] { return stack.logged("traffic outside the VPN is no longer blocked: " + told); }, 10s))
        << stack.appLog() << stack.helper.log();
    EXPECT_FALSE(TrafficProbe::tableExists());
    EXPECT_TRUE(pollUntil([&] { return stack.visibleWindows() <= withQuestion; }, 5s))
        << "the question about the block is gone";
    stack.screenshot(screenshotPath("product-block-lifted-by-another-program"));
}

TEST(Product, WithTheBlockSwitchedOffNothingIsBlocked) {
    ProductStack stack(true);
    std::filesystem::create_directories(stack.configDir() / "Quovant");
    std::ofstream(stack.configDir() / "Quovant" / "Quovant.conf")
        << "[General]\nblockLeaks=false\n";
    TrafficProbe::FarSide far(stack.server);
    auto quovant = connectThroughTheWindow(stack);
    ASSERT_TRUE(quovant) << stack.appLog();
    EXPECT_FALSE(TrafficProbe::tableExists());
    EXPECT_EQ(stack.helper.log().find("blocking traffic"), std::string::npos);
    EXPECT_TRUE(TrafficProbe::outsideArrives(far));
}

// What a process of `uid` gets for `request` from the socket at `path`, within 3 s.
std::string askAs(uid_t uid, const std::filesystem::path& path, const std::string& request) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::setgid(uid) != 0 || ::setuid(uid) != 0 ||
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(1);
        // The instance may have closed the connection already, and the request finds no one.
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        pollfd answer{fd, POLLIN, 0};
        char chunk[4096];
        ssize_t n = 0;
        while (::poll(&answer, 1, 3000) > 0 && (n = ::read(fd, chunk, sizeof chunk)) > 0)
            if (::write(pipe[1], chunk, size_t(n)) != n)
                break;
        ::_exit(n < 0 && errno != ECONNRESET ? 2 : 0);
    }
    ::close(pipe[1]);
    std::string got;
    char chunk[4096];
    for (ssize_t n; (n = ::read(pipe[0], chunk, sizeof chunk)) > 0;)
        got.append(chunk, size_t(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0
               ? got
               : "ended with " + std::to_string(status) + " after " + got;
}

// `quovant COMMAND` as a script or a status bar uses it, each step a command with its
// exit status and what its output must hold, some after something done to the stack.
TEST(Product, CommandsSteerAndReportTheConnection) {
    ProductStack stack(true);
    std::filesystem::create_directories(stack.configDir() / "Quovant");
    std::ofstream(stack.configDir() / "Quovant" / "Quovant.conf")
        << "[General]\nemail=" << ProductStack::email << "\npassword=" << ProductStack::password
        << "\n";
    const std::string follows = (stack.configDir() / "follow.out").string();
    std::unique_ptr<ChildProcess> quovant, follow;
    auto startWithItsWindow = [&] {
        quovant = stack.startQuovant();
        ASSERT_FALSE(stack.waitForWindow().empty()) << stack.appLog();
        follow = stack.startQuovantCommand({"status", "--json", "--follow"}, follows);
        ASSERT_TRUE(pollUntil([&] { return !readFile(follows).empty(); }, 10s));
    };
    auto windowShows = [&](const std::string& word) {
        return pollUntil([&] { return stack.logged("\n" + word + "\n"); }, 5s);
    };
    auto windowHidden = [] {
        return outputOf({"xdotool", "search", "--onlyvisible", "--name", "^Quovant$"}).empty();
    };
    const std::string socket = (stack.runtimeDir() / "quovant-1000.sock").string();
    const std::string refused = "The VPN server did not accept the e-mail address or password.";
    struct Step {
        std::function<void()> before;
        std::vector<std::string> args;
        int status;
        std::string output;
        uid_t uid = ProductStack::appUid;
        // The caller's language: the command's own messages and the instance's are in it.
        std::string language = {};
    };
    const Step steps[] = {
        {{}, {"status"}, 3, "Quovant n'est pas lanc\u00e9\n", ProductStack::appUid, "fr"},
        {{}, {"disconnect"}, 3, "Quovant l\u00e4uft nicht.\n", ProductStack::appUid, "de"},
        {{},
         {"status", "--tray"},
         2,
         "quovant: status kennt kein \u201e--tray\u201c\nSiehe \u201equovant --help\u201c.\n",
         ProductStack::appUid,
         "de"},
        {startWithItsWindow, {"connect", "--wait"}, 0, ""},
        {[&] {
             EXPECT_TRUE(windowShows("CONNECTED"));
             stack.screenshot(screenshotPath("product-connected-by-command"));
         },
         {"status"},
         0,
         "Verbonden met "},
        {{}, {"status", "--json"}, 0, "\"state\":\"CONNECTED\""},
        // Another user, told where this user's socket is, reaches nothing.
        {{}, {"status"}, 3, "Quovant is not running\n", 1001},
        {[&] {
             // Even through a socket opened to all, the instance answers no one else.
             ASSERT_EQ(::chmod(stack.runtimeDir().parent_path().c_str(), 0711), 0);
             ASSERT_EQ(::chmod(stack.runtimeDir().c_str(), 0711), 0);
             ASSERT_EQ(::chmod(socket.c_str(), 0666), 0);
             EXPECT_EQ(askAs(1001, socket, "status --json\n"), "");
         },
         {"disconnect", "--wait"},
         0,
         ""},
        {[&] { EXPECT_TRUE(windowShows("NOPROCESS")); }, {"disconnect"}, 0, ""},
        {[&] { stack.server.changePassword(0, "changed on the server"); },
         {"connect", "--wait"},
         1,
         "Le serveur VPN n'a pas accept\u00e9 l'adresse e-mail ou le mot de passe.\n",
         ProductStack::appUid,
         "fr"},
        {{}, {"status"}, 0, "Niet verbonden \u00b7 " + refused},
        {{}, {"quit"}, 0, ""},
        // Started by the command, in the tray.
        {[&] {
             EXPECT_EQ(quovant->waitFor(10s), 0) << stack.appLog();
             EXPECT_EQ(follow->waitFor(5s), 3);
             stack.server.changePassword(0, ProductStack::password);
         },
         {"connect", "--wait"},
         0,
         ""},
        {[&] { EXPECT_TRUE(windowHidden()) << "the window stays hidden"; },
         {"status", "--json"},
         0,
         "\"class\":\"connected\""},
        // Another start in the tray leaves it so; a plain start brings the window.
        {{}, {"--tray"}, 0, ""},
        {[&] { EXPECT_TRUE(windowHidden()); }, {}, 0, ""},
        {[&] { EXPECT_FALSE(stack.waitForWindow().empty()); }, {"quit"}, 0, ""},
    };
    for (const Step& step : steps) {
        const std::string command = testing::PrintToString(step.args);
        if (step.before)
            step.before();
        ASSERT_FALSE(HasFatalFailure()) << command;
        const ProductStack::Outcome outcome =
            stack.runQuovant(step.args, step.uid, 90s, {"LANGUAGE=" + step.language});
        EXPECT_EQ(outcome.status, step.status) << command << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(step.output), std::string::npos) << command << "\n"
                                                                       << outcome.output;
        if (step.args == std::vector<std::string>{"status", "--json"} && step.status == 0) {
            // What the window shows, for a status bar.
            const auto status = nlohmann::json::parse(outcome.output);
            EXPECT_EQ(status["phase"], "connected");
            EXPECT_EQ(status["server"], OpenVPNServer::linkAddress);
            EXPECT_TRUE(status["since"].is_string());
            EXPECT_EQ(status["text"].get<std::string>().rfind("Verbonden met ", 0), 0u);
        }
    }

    // The follower saw the tunnel come up and, after the disconnect, go.
    const std::string followed = readFile(follows);
    const size_t up = followed.find("\"state\":\"CONNECTED\"");
    ASSERT_NE(up, std::string::npos) << followed;
    EXPECT_NE(followed.find("\"state\":\"NOPROCESS\"", up), std::string::npos) << followed;
    EXPECT_NE(followed.find("\"class\":\"not-running\"}\n", up), std::string::npos)
        << "and its last line says that Quovant quit\n"
        << followed;
}

} // namespace

#include "ControllerHarness.h"
#include "platform/Log.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;

TEST(MainViewController, ValidationComesFirstAndTrimsNothing) {
    ControllerHarness c;
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{"Email should not be empty!"})
        << "both empty: e-mail only";
    c.view.email = "a@example.com";
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.view.alerts.back(), "Password should not be empty!");
    EXPECT_TRUE(c.account.requests.empty());

    c.view.email = " ";
    c.view.password = " pw ";
    c.controller->onConnectButtonClick();
    ASSERT_EQ(c.account.requests.size(), 1u);
    EXPECT_EQ(c.account.requests[0].first, " ");
    EXPECT_EQ(c.account.requests[0].second, " pw ");
    EXPECT_EQ(c.view.title, "Verbinden...") << "login puts the window into its connecting look";
}

TEST(MainViewController, TheClickFollowsThePhase) {
    using Kind = RunEvent::Kind;
    ControllerHarness c;
    c.view.email = "a@example.com";
    c.view.password = "pw";
    c.controller->onConnectButtonClick();
    ASSERT_EQ(c.account.requests.size(), 1u);
    const int cancels = c.account.cancels;
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.account.cancels, cancels + 1) << "a click while the service is asked cancels it";
    EXPECT_EQ(c.view.title, "Verbinden");
    c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    EXPECT_EQ(c.account.requests.size(), 1u) << "a cancelled chain asks nothing more";
    EXPECT_TRUE(c.view.alerts.empty());

    c.controller->onConnectButtonClick();
    c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    c.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
    EXPECT_EQ(c.vpn->done.back(), "run " + (c.dir / "quovant.ovpn").string());
    c.vpn->updateState("CONNECTED");
    const int before = c.view.changes;
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.vpn->done.back(), "signal SIGINT\n");
    EXPECT_EQ(c.view.title, "Verbinding verbreken...") << "stopping shows at once";
    EXPECT_GT(c.view.changes, before);
    c.vpn->ended(0, false);
    EXPECT_EQ(c.view.title, "Verbinden");
    EXPECT_TRUE(c.view.alerts.empty()) << "a disconnect the user asked for is no failure";
    c.vpn->event(Kind::disconnect);
}

TEST(MainViewController, StateDecidesTheLook) {
    struct Expect {
        std::string title, image, item;
        uint32_t titleColor, rememberColor;
        bool enabled;
    };
    const Expect connecting{"Verbinden...", "bg_button", "Verbinden...", 0x9D9EA2, 0x9D9EA2, false};
    const Expect connected{"Verbinding verbreken",
                           "bg_button_green",
                           "Verbinding verbreken",
                           0xFFFFFF,
                           0x9D9EA2,
                           false};
    const Expect disconnected{"Verbinden", "bg_button", "Verbinden", 0x9D9EA2, 0xFFFFFF, true};
    // Words of openvpn's during a run; its end is told by the helper, so the stopped words
    // keep the look of the run until then.
    const std::pair<std::string, Expect> table[] = {
        {"USER_VPN_PERMISSION", connecting},
        {"VPN_GENERATE_CONFIG", connecting},
        {"NONETWORK", connecting},
        {"CONNECTING", connecting},
        {"WAIT", connecting},
        {"RECONNECTING", connecting},
        {"RESOLVE", connecting},
        {"TCP_CONNECT", connecting},
        {"AUTH", connecting},
        {"GET_CONFIG", connecting},
        {"ASSIGN_IP", connecting},
        {"ADD_ROUTES", connecting},
        {"CONNECTED", connected},
        {"DISCONNECTED", connecting},
        {"EXITING", connecting},
        {"AUTH_PENDING", connecting},
    };
    for (const auto& [state, e] : table) {
        ControllerHarness c;
        c.vpn->serverCount = 2; // a restart goes on to the second server
        EXPECT_EQ(c.view.title, disconnected.title);
        c.vpn->connect({"a@example.com", "pw", false});
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        c.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
        c.vpn->updateState(state);
        EXPECT_EQ(c.view.title, e.title) << state;
        EXPECT_EQ(c.view.titleColor, e.titleColor) << state;
        EXPECT_EQ(c.view.image, e.image) << state;
        EXPECT_EQ(c.itemTitles.back(), e.item) << state;
        EXPECT_EQ(c.view.formEnabled, e.enabled) << state;
        EXPECT_EQ(c.view.rememberColor, e.rememberColor) << state;
        c.vpn->ended(0, false);
        EXPECT_EQ(c.view.title, disconnected.title) << state << ": the run's end";
        EXPECT_EQ(c.view.formEnabled, disconnected.enabled) << state;
        EXPECT_EQ(c.view.rememberColor, disconnected.rememberColor) << state;
    }
}

// Each failure is told once, however often the status is announced after it; a drop
// after the tunnel was up keeps the block, says so and asks, and the question stays
// until the block is settled.
TEST(MainViewController, FailuresAreToldOnceAndBlocksAsk) {
    ControllerHarness c;
    auto connectUntil = [&](const char* word) {
        c.vpn->connect({"a@example.com", "pw", false});
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        c.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
        c.vpn->updateState(word);
    };
    connectUntil("AUTH");
    c.vpn->event(RunEvent::Kind::passwordNotice, "Verification Failed: 'Auth'");
    c.vpn->ended(1, true);
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{
                                 "The VPN server did not accept the e-mail address or password."});
    EXPECT_EQ(c.view.title, "Verbinden") << "never up: not blocked";
    EXPECT_EQ(c.vpn->done.back(), "release");
    for (int i = 0; i < 3; ++i)
        c.center.post(OpenVPNService::stateDidChangeNotification);
    EXPECT_EQ(c.view.alerts.size(), 1u);

    connectUntil("CONNECTED");
    c.vpn->ended(139, true);
    EXPECT_EQ(c.view.title, "Opnieuw verbinden");
    EXPECT_EQ(c.view.status, "Geblokkeerd: VPN verbroken");
    ASSERT_EQ(c.view.choices.size(), 2u);
    EXPECT_EQ(c.view.alerts.back(),
              "The VPN connection ended unexpectedly (openvpn exit status 139).\n\n"
              "Internet access outside the VPN stays blocked until you reconnect or disconnect.");
    EXPECT_TRUE(c.disconnectItem.back()) << "the tray offers both ways out";
    c.center.post(OpenVPNService::stateDidChangeNotification);
    EXPECT_EQ(c.view.choices.size(), 2u) << "a later announcement withdraws nothing";
    c.view.choices[1].action(); // "Verbinding verbreken"
    EXPECT_EQ(c.vpn->done.back(), "release");
    EXPECT_EQ(c.view.title, "Verbinden");
    EXPECT_TRUE(c.view.choices.empty());
    EXPECT_FALSE(c.disconnectItem.back());
    EXPECT_EQ(c.view.alerts.size(), 2u);
    // A screen reader hears each turn once, a failure with the turn it caused.
    EXPECT_EQ(c.view.announced,
              (std::vector<std::string>{
                  "Verbinden...",
                  "Niet verbonden\nThe VPN server did not accept the e-mail address or password.",
                  "Verbinden...", "Verbonden",
                  "Geblokkeerd: VPN verbroken\nThe VPN connection ended unexpectedly (openvpn "
                  "exit status 139).",
                  "Niet verbonden"}));
}

// A tunnel that was up and has been remade for long: the window, the tray and one
// notification say so, with the two ways out the block offers, and the question goes
// once the tunnel is back.
TEST(MainViewController, ATunnelRemadeForLongIsToldOnceWithBothWaysOut) {
    struct Notes : DesktopNotifications {
        std::vector<std::string> bodies;
        void notify(const std::string&, const std::string& body) override {
            bodies.push_back(body);
        }
    } notes;
    ControllerHarness c(nullptr, nullptr, &notes);
    const std::string told = "Still reconnecting; traffic outside the VPN stays blocked";
    c.vpn->connectThrough(c.account);
    c.vpn->updateState("CONNECTED");
    c.vpn->updateState("RECONNECTING");
    EXPECT_EQ(c.view.title, "Verbinden...");
    EXPECT_EQ(c.view.status, "Verbinden...\ntrying again");
    c.vpn->fire(RunTimer::reconnectNotice);
    EXPECT_EQ(c.view.title, "Opnieuw verbinden");
    EXPECT_EQ(c.view.status, told);
    EXPECT_EQ(c.itemStatuses.back(), told);
    EXPECT_EQ(c.itemTitles.back(), "Opnieuw verbinden");
    EXPECT_TRUE(c.disconnectItem.back()) << "the tray offers both ways out";
    ASSERT_EQ(c.view.choices.size(), 2u);
    EXPECT_EQ(c.view.alerts.back(), told);
    for (int i = 0; i < 3; ++i) { // openvpn goes on trying, the status is announced again
        c.vpn->updateState(i % 2 ? "RECONNECTING" : "WAIT");
        c.center.post(OpenVPNService::stateDidChangeNotification);
    }
    EXPECT_EQ(std::count(c.view.alerts.begin(), c.view.alerts.end(), told), 1);
    EXPECT_EQ(std::count(notes.bodies.begin(), notes.bodies.end(), told), 1);
    EXPECT_EQ(c.view.status, told);

    c.view.choices[0].action(); // "Opnieuw verbinden": openvpn starts over at once
    EXPECT_EQ(c.vpn->done.back(), "signal SIGUSR1\n");
    c.vpn->updateState("CONNECTED");
    EXPECT_TRUE(c.view.choices.empty()) << "back up: the question is settled";
    EXPECT_FALSE(c.disconnectItem.back());

    c.vpn->updateState("RECONNECTING");
    c.vpn->fire(RunTimer::reconnectNotice);
    ASSERT_EQ(c.view.choices.size(), 2u) << "a new drop asks anew";
    c.view.choices[1].action(); // "Verbinding verbreken"
    EXPECT_EQ(c.vpn->done.back(), "signal SIGINT\n");
    EXPECT_EQ(c.view.title, "Verbinding verbreken...");
    c.vpn->ended(0, true);
    EXPECT_EQ(c.vpn->done.back(), "release") << "the user's end opens the way";
    EXPECT_EQ(c.view.title, "Verbinden");
}

TEST(MainViewController, RememberMeStoresOrRemovesAfterASuccessfulLogin) {
    {
        ControllerHarness c;
        c.view.remember = true;
        c.vpn->connect({"a@example.com", "pw 1", c.view.remember});
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        EXPECT_EQ(c.defaults.values, (std::map<std::string, std::string>{{"email", "a@example.com"},
                                                                         {"password", "pw 1"}}));
    }
    {
        ControllerHarness c;
        c.defaults.values = {{"email", "old@example.com"}, {"password", "old"}};
        c.vpn->connect({"a@example.com", "pw", c.view.remember});
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        c.account.answer(AccountReply::Outcome::failedWithResponse,
                         "{}"); // the profile request fails
        EXPECT_TRUE(c.defaults.values.empty());
    }
    {
        ControllerHarness c;
        c.defaults.values = {{"email", "kept@example.com"}, {"password", "kept"}};
        c.view.remember = true;
        c.vpn->connect({"a@example.com", "pw", c.view.remember});
        c.account.answer(AccountReply::Outcome::failedWithResponse, "{}");
        EXPECT_EQ(c.defaults.values.at("email"), "kept@example.com")
            << "a failed login changes nothing";
    }
    {
        ControllerHarness c;
        c.defaults.values = {{"email", "me@example.com"}, {"password", "secret"}};
        FakeView fresh;
        c.controller.reset();
        MainViewController next(c.basicPorts(fresh));
        next.viewDidLoad();
        EXPECT_EQ(fresh.email, "me@example.com");
        EXPECT_EQ(fresh.password, "secret");
        EXPECT_TRUE(fresh.remember) << "remembered credentials keep the box ticked";
    }
    {
        ControllerHarness nothingStored;
        EXPECT_EQ(nothingStored.view.email, "");
        EXPECT_FALSE(nothingStored.view.remember);
    }
}

TEST(MainViewController, FailuresShowTheirAlertAndUnlockTheForm) {
    struct Case {
        const char* name;
        AccountReply::Outcome outcome;
        std::string body;
        bool atProfile;
        std::string alert;
    };
    const Case cases[] = {
        {"login answered 401", AccountReply::Outcome::failedWithResponse, "{}", false,
         "Onjuist email of wachtwoord"},
        {"login unanswered", AccountReply::Outcome::failedWithoutResponse, "", false,
         "Network connection failed"},
        {"bare JSON string", AccountReply::Outcome::succeeded, "\"token\"", false, "Unknown error"},
        {"empty 204", AccountReply::Outcome::succeeded, "", false, "Unknown error"},
        {"object without a token", AccountReply::Outcome::succeeded, "{\"token\":\"x\"}", false,
         "Unknown error"},
        {"token that is no string", AccountReply::Outcome::succeeded, "{\"access_token\":5}", false,
         "Unknown error"},
        {"profile answered 500", AccountReply::Outcome::failedWithResponse, "{}", true,
         "Onjuist email of wachtwoord"},
        {"profile unanswered", AccountReply::Outcome::failedWithoutResponse, "", true,
         "Network connection failed"},
        {"profile without config", AccountReply::Outcome::succeeded, "{\"configuration\":\"x\"}",
         true, "Unknown error"},
    };
    for (const auto& k : cases) {
        ControllerHarness c;
        c.vpn->connect({"a@example.com", "pw", c.view.remember});
        if (k.atProfile)
            c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        c.account.answer(k.outcome, k.body);
        EXPECT_EQ(c.view.alerts, std::vector<std::string>{k.alert}) << k.name;
        EXPECT_EQ(c.view.title, "Verbinden") << k.name;
        EXPECT_EQ(c.view.formEnabled, true) << k.name;
        EXPECT_EQ(c.account.requests.size(), k.atProfile ? 2u : 1u)
            << k.name << ": nothing further is requested";
        EXPECT_EQ(c.vpn->config, std::nullopt) << k.name;
    }
}

TEST(MainViewController, ProfileIsWrittenAndTheRunAskedWithTheCredentialsOfTheClick) {
    ControllerHarness c;
    c.view.email = "first@example.com";
    c.view.password = "first";
    c.vpn->connect({c.view.email, c.view.password, false});
    c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"abc\"}");
    ASSERT_EQ(c.account.requests.back().kind, "profile");
    EXPECT_EQ(c.account.requests.back().first, "Bearer abc");
    const std::string profile = "client\r\nremote vpn.example 1194\n# caf\xC3\xA9\n";
    c.account.answer(AccountReply::Outcome::succeeded, nlohmann::json{{"config", profile}}.dump());
    EXPECT_EQ(readFile(c.dir / "quovant.ovpn"), profile);
    EXPECT_EQ(std::filesystem::status(c.dir / "quovant.ovpn").permissions(),
              std::filesystem::perms(0600));
    EXPECT_EQ(c.vpn->config, (c.dir / "quovant.ovpn").string());
    EXPECT_EQ(c.vpn->username, "first@example.com");
    EXPECT_EQ(c.vpn->password, "first");
    EXPECT_EQ(c.view.title, "Verbinden...") << "until the helper has told how the start went";
    c.vpn->ended(-1, false, "No VPN helper answers.");
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{"No VPN helper answers."});
    EXPECT_EQ(c.view.title, "Verbinden");
}

TEST(MainViewController, LinksOpenTheWebSite) {
    ControllerHarness c;
    c.controller->onSignUpButtonClick();
    c.controller->onHelpButtonClick();
    ASSERT_EQ(c.desktop.opened.size(), 2u);
    EXPECT_TRUE(c.desktop.opened[0].starts_with("https://"));
    EXPECT_TRUE(c.desktop.opened[0].ends_with("/prijzen/"));
    EXPECT_TRUE(c.desktop.opened[1].ends_with("/support/"));
}

} // namespace

namespace {

TEST(MainViewController, ConnectAtStartLogsInWithTheRememberedCredentialsOnly) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> remembered;
        bool connectAtStart;
        bool logsIn;
    };
    const Case cases[] = {
        {"remembered and asked for",
         {{"email", "me@example.com"}, {"password", "secret"}},
         true,
         true},
        {"not asked for", {{"email", "me@example.com"}, {"password", "secret"}}, false, false},
        {"no password remembered", {{"email", "me@example.com"}}, true, false},
        {"nothing remembered", {}, true, false},
    };
    for (const auto& c : cases) {
        ControllerHarness h;
        h.controller.reset();
        h.defaults.values = c.remembered;
        FakeView view;
        MainViewController::Ports ports = h.basicPorts(view);
        ports.connectAtStart = [&c] { return c.connectAtStart; };
        Log::Capture log;
        MainViewController controller(ports);
        controller.viewDidLoad();
        if (!c.logsIn) {
            EXPECT_TRUE(h.account.requests.empty()) << c.name;
            EXPECT_EQ(log.systemContains("not connecting at start"), c.connectAtStart) << c.name;
            continue;
        }
        ASSERT_EQ(h.account.requests.size(), 1u) << c.name;
        EXPECT_EQ(h.account.requests[0].kind, "login");
        EXPECT_EQ(h.account.requests[0].first, "me@example.com");
        EXPECT_EQ(h.account.requests[0].second, "secret");
        EXPECT_EQ(view.title, "Verbinden...");
    }
}

} // namespace

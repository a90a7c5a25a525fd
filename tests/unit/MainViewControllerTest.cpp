#include "ControllerHarness.h"
#include "platform/Log.h"

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

TEST(MainViewController, ConnectOrDisconnectByState) {
    for (const std::string state :
         {"CONNECTED", "CONNECTING", "WAIT", "RECONNECTING", "SOMETHING_NEW", ""}) {
        ControllerHarness c;
        ASSERT_TRUE(c.vpn->management().socket().connect(1).ok());
        ASSERT_TRUE(c.management.accept());
        c.vpn->setState(state);
        c.view.email = "a@example.com";
        c.view.password = "pw";
        const int before = c.view.changes;
        c.controller->onConnectButtonClick();
        EXPECT_EQ(c.management.receiveUntil("\n", 2s), "signal SIGINT\n") << state;
        EXPECT_TRUE(c.account.requests.empty()) << state;
        EXPECT_EQ(c.view.changes, before) << state << ": the look follows openvpn, not the click";
    }
    for (const std::string state : {"DISCONNECTED", "EXITING", "NOPROCESS"}) {
        ControllerHarness c;
        c.vpn->setState(state);
        c.view.email = "a@example.com";
        c.view.password = "pw";
        c.controller->onConnectButtonClick();
        EXPECT_EQ(c.account.requests.size(), 1u) << state << " logs in";
    }
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
        {"DISCONNECTED", disconnected},
        {"EXITING", disconnected},
        {"NOPROCESS", disconnected},
    };
    for (const auto& [state, e] : table) {
        ControllerHarness c;
        Log::Capture log;
        c.vpn->updateState(state);
        c.queue.drain();
        EXPECT_EQ(c.view.title, e.title) << state;
        EXPECT_EQ(c.view.titleColor, e.titleColor) << state;
        EXPECT_EQ(c.view.image, e.image) << state;
        EXPECT_EQ(c.itemTitles.back(), e.item) << state;
        EXPECT_EQ(c.view.formEnabled, e.enabled) << state;
        EXPECT_EQ(c.view.rememberColor, e.rememberColor) << state;
        EXPECT_EQ(log.systemLines(), std::vector<std::string>{state}) << "one log line: the word";
    }
    for (const std::string unknown : {"AUTH_PENDING", "connected", ""}) {
        ControllerHarness c;
        Log::Capture log;
        const int before = c.view.changes;
        c.vpn->updateState(unknown);
        c.queue.drain();
        EXPECT_EQ(c.view.changes, before) << unknown;
        EXPECT_TRUE(c.itemTitles.empty()) << unknown;
        EXPECT_EQ(log.systemLines(), std::vector<std::string>{unknown});
    }
}

TEST(MainViewController, RememberMeStoresOrRemovesAfterASuccessfulLogin) {
    {
        ControllerHarness c;
        c.view.remember = true;
        c.controller->login("a@example.com", "pw 1");
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        EXPECT_EQ(c.defaults.values, (std::map<std::string, std::string>{{"email", "a@example.com"},
                                                                         {"password", "pw 1"}}));
    }
    {
        ControllerHarness c;
        c.defaults.values = {{"email", "old@example.com"}, {"password", "old"}};
        c.controller->login("a@example.com", "pw");
        c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        c.account.answer(AccountReply::Outcome::failedWithResponse,
                         "{}"); // the profile request fails
        EXPECT_TRUE(c.defaults.values.empty());
    }
    {
        ControllerHarness c;
        c.defaults.values = {{"email", "kept@example.com"}, {"password", "kept"}};
        c.view.remember = true;
        c.controller->login("a@example.com", "pw");
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
        c.controller->login("a@example.com", "pw");
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

TEST(MainViewController, ProfileIsWrittenAndTheServiceStartedWithTheFieldsOfNow) {
    ControllerHarness c;
    c.view.email = "first@example.com";
    c.view.password = "first";
    c.controller->login("first@example.com", "first");
    c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"abc\"}");
    ASSERT_EQ(c.account.requests.back().kind, "profile");
    EXPECT_EQ(c.account.requests.back().first, "Bearer abc");
    c.view.email = " now@example.com ";
    c.view.password = " now ";
    const std::string profile = "client\r\nremote vpn.example 1194\n# caf\xC3\xA9\n";
    c.account.answer(AccountReply::Outcome::succeeded, nlohmann::json{{"config", profile}}.dump());
    EXPECT_EQ(readFile(c.dir / "quovant.ovpn"), profile);
    EXPECT_EQ(std::filesystem::status(c.dir / "quovant.ovpn").permissions(),
              std::filesystem::perms(0600));
    EXPECT_EQ(c.vpn->config, (c.dir / "quovant.ovpn").string());
    EXPECT_EQ(c.vpn->username, " now@example.com ");
    EXPECT_EQ(c.vpn->password, " now ");
    // This harness has no helper: the start ends at once, and the window says why.
    c.queue.drain();
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{"No VPN helper answers."});
    EXPECT_EQ(c.view.title, "Verbinden");
}

TEST(MainViewController, OneChainPerClickUntilItHasEnded) {
    ControllerHarness c;
    c.view.email = "a@example.com";
    c.view.password = "pw";
    // Button and tray item alike: while the login runs, more clicks start nothing.
    for (int click = 0; click < 10; ++click)
        c.controller->onConnectButtonClick();
    ASSERT_EQ(c.account.requests.size(), 1u);
    c.vpn->updateState("NOPROCESS"); // whatever else posts meanwhile leaves the chain alone
    c.queue.drain();
    EXPECT_EQ(c.view.title, "Verbinden...");
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.account.requests.size(), 1u);

    c.account.answer(AccountReply::Outcome::failedWithResponse, "{}");
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{"Onjuist email of wachtwoord"});
    EXPECT_EQ(c.view.title, "Verbinden");
    c.controller->onConnectButtonClick();
    EXPECT_EQ(c.account.requests.size(), 2u) << "after the chain ended a click starts the next";
}

TEST(MainViewController, FailedStartEndsInTheDisconnectedLookWithItsReason) {
    ControllerHarness c;
    c.view.email = "a@example.com";
    c.view.password = "pw";
    c.controller->onConnectButtonClick();
    c.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    c.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
    EXPECT_EQ(c.view.title, "Verbinden...") << "until the service has told how the start went";
    EXPECT_EQ(c.vpn->state(), "NOPROCESS");
    c.queue.drain();
    EXPECT_EQ(c.view.alerts, std::vector<std::string>{"No VPN helper answers."});
    EXPECT_EQ(c.view.title, "Verbinden");
    EXPECT_EQ(c.view.formEnabled, true);
    c.vpn->updateState("NOPROCESS");
    c.queue.drain();
    EXPECT_EQ(c.view.alerts.size(), 1u) << "one alert per failure";
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

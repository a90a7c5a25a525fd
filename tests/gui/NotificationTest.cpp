// Notifications of the connection's turns, received by a real notification daemon
// (dunst, on an Xvfb display of its own) on a private session bus: run under
// dbus-run-session with session-bus.conf. dunst runs a script for each notification
// it shows, which records the summary and body.
#include "ChildProcess.h"
#include "ControllerHarness.h"
#include "QtWait.h"
#include "TempDir.h"
#include "XvfbDisplay.h"
#include "platform/qt/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace std::chrono_literals;

class Notifications : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("quovant-notifications");
        xvfb_ = std::make_unique<XvfbDisplay>();

        const auto script = dir_->path() / "record";
        // dunst starts a script for each notification without waiting for the one before,
        // so the lines may land out of order: each carries the time dunst took it in.
        std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$DUNST_TIMESTAMP\" \"$2\" "
                                 "\"$3\" >> \"$RECORD\"\n";
        std::filesystem::permissions(script, std::filesystem::perms(0755));
        std::ofstream(dir_->path() / "dunstrc")
            << "[record]\n    summary = \"*\"\n    script = " << script.string() << "\n";
        ChildProcess::Options options;
        options.extraEnvironment = {"DISPLAY=" + xvfb_->name(), "RECORD=" + recordFile()};
        dunst_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"dunst", "-config", (dir_->path() / "dunstrc").string()},
            options);
        ASSERT_TRUE(waitUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                FreedesktopNotifications::service);
        }));
    }
    static void TearDownTestSuite() {
        dunst_.reset();
        xvfb_.reset();
        dir_.reset();
    }

    static std::string recordFile() { return (dir_->path() / "received").string(); }

    // What the daemon showed since the test began, in the order it took them in: at least
    // `count`, and all that came before a closing marker sent through the same connection.
    std::vector<std::string> received(size_t count) {
        notifications.notify("marker", std::to_string(++markers_));
        const std::string marker = "marker|" + std::to_string(markers_);
        std::vector<std::pair<long long, std::string>> lines;
        waitUntil([&] {
            lines.clear();
            bool marked = false;
            std::ifstream in(recordFile());
            std::string line;
            while (std::getline(in, line)) {
                const size_t bar = line.find('|');
                const std::string shown = line.substr(bar + 1);
                if (shown == marker)
                    marked = true;
                else if (!shown.starts_with("marker|"))
                    lines.emplace_back(std::atoll(line.c_str()), shown);
            }
            return marked && lines.size() >= count;
        });
        std::filesystem::remove(recordFile());
        std::stable_sort(lines.begin(), lines.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> shown;
        for (auto& [at, text] : lines)
            shown.push_back(std::move(text));
        return shown;
    }
    void expectShown(const std::vector<std::string>& expected) {
        EXPECT_EQ(received(expected.size()), expected);
    }

    FreedesktopNotifications notifications;
    static inline int markers_ = 0;
    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<XvfbDisplay> xvfb_;
    static inline std::unique_ptr<ChildProcess> dunst_;
};

TEST_F(Notifications, TunnelUpDroppedAndBackEachOnceButNotWhenTheUserDisconnects) {
    ControllerHarness h(nullptr, nullptr, &notifications);
    h.vpn->connectThrough(h.account);
    h.vpn->stateAddress("198.51.100.7");
    h.vpn->updateState("CONNECTED");
    for (const char* word : {"RECONNECTING", "WAIT", "AUTH", "RECONNECTING"})
        h.vpn->updateState(word);
    h.vpn->stateAddress("198.51.100.8");
    h.vpn->updateState("CONNECTED");

    // The user disconnects: openvpn's exit is no news.
    h.view.email = "me@example.com";
    h.view.password = "pw";
    h.controller->onConnectButtonClick();
    h.vpn->updateState("EXITING");
    h.vpn->ended(0, false);
    expectShown({
        "Verbonden|Server: 198.51.100.7",
        "Verbinding weggevallen|Opnieuw verbinden...",
        "Verbonden|Server: 198.51.100.8",
    });
}

TEST_F(Notifications, ADropWithAReasonIsToldOnceWithTheReason) {
    ControllerHarness h(nullptr, nullptr, &notifications);
    h.vpn->connectThrough(h.account);
    h.vpn->updateState("CONNECTED");
    // The run ends by itself with a reason (here: the helper stops and does not come back).
    h.vpn->setAutomaticReconnect(false);
    h.vpn->ended(-1, false, "The VPN helper stopped.");
    ASSERT_EQ(h.view.alerts.size(), 1u);
    expectShown({
        "Verbonden|",
        "Verbinding weggevallen|" + h.view.alerts[0],
    });
}

TEST_F(Notifications, FailuresAreToldOnlyWhileTheWindowIsHiddenAndNotRepeated) {
    ControllerHarness h(nullptr, nullptr, &notifications);
    h.view.email = "me@example.com";
    h.view.password = "wrong & <b>bold</b>";
    h.windowShown = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        h.controller->onConnectButtonClick();
        h.account.answer(AccountReply::Outcome::failedWithResponse, "");
    }
    h.controller->onConnectButtonClick();
    h.account.answer(AccountReply::Outcome::failedWithoutResponse, "");
    h.windowShown = true;
    h.controller->onConnectButtonClick();
    h.account.answer(AccountReply::Outcome::failedWithResponse, "");
    expectShown({
        "Verbinden mislukt|Onjuist email of wachtwoord",
        "Verbinden mislukt|Network connection failed",
    });
}

} // namespace

#pragma once

#include "TempDir.h"
#include "account/AccountService.h"
#include "account/LoginChain.h"
#include "platform/SettingsPasswordStore.h"
#include "ui/MainViewController.h"
#include "vpn/OpenVPNService.h"
#include "vpn/RunMachine.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct FakeView : LoginView {
    std::string email, password;
    bool remember = false;
    std::string title, image;
    uint32_t titleColor = 0, rememberColor = 0;
    std::optional<bool> formEnabled;
    std::vector<std::string> alerts;
    std::string status;
    int changes = 0;

    std::string emailText() override { return email; }
    std::string passwordText() override { return password; }
    bool rememberChecked() override { return remember; }
    void setEmailText(const std::string& t) override { email = t; }
    void setPasswordText(const std::string& t) override { password = t; }
    void setRememberChecked(bool checked) override { remember = checked; }
    void setUpColors(uint32_t, uint32_t) override {}
    void setLinkTitles(const std::string&, const std::string&, uint32_t) override {}
    void setUpFields(uint32_t, const std::string&, const std::string&, uint32_t) override {}
    void setConnectTitle(const std::string& t, uint32_t c) override {
        title = t, titleColor = c, ++changes;
    }
    void setConnectImage(const std::string& i) override { image = i, ++changes; }
    void setFormEnabled(bool e) override { formEnabled = e, ++changes; }
    void setRememberTextColor(uint32_t c) override { rememberColor = c, ++changes; }
    void setStatusText(const std::string& t) override { status = t; }
    void announce(const std::string& n) override { announced.push_back(n); }
    std::vector<std::string> announced;
    void showAlert(const std::string& m) override { alerts.push_back(m); }
    void askAlert(const std::string& m, std::vector<Choice> c) override {
        alerts.push_back(m);
        choices = std::move(c);
    }
    void withdrawQuestion() override { choices.clear(); }
    std::vector<Choice> choices; // of the last question, while it is open
};

struct FakeDefaults : KeyValueStore {
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& k) override {
        auto it = values.find(k);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void set(const std::string& k, const std::string& v) override { values[k] = v; }
    void remove(const std::string& k) override { values.erase(k); }
};

struct FakeAccount : AccountService {
    struct Request {
        std::string kind, first, second;
        Completion completion;
    };
    std::vector<Request> requests;
    void login(const std::string& e, const std::string& p, Completion c) override {
        requests.push_back({"login", e, p, c});
    }
    void requestProfile(const std::string& a, Completion c) override {
        requests.push_back({"profile", a, "", c});
    }
    void answer(AccountReply::Outcome outcome, const std::string& body) {
        requests.back().completion({outcome, body});
    }
    int cancels = 0;
    void cancel() override { ++cancels; }
};

struct FakeDesktop : Desktop {
    std::vector<std::string> opened;
    void openURL(const std::string& url) override { opened.push_back(url); }
};

// The connection as the window sees it, with the real run machine and login chain behind
// it and no helper, openvpn or thread: what would go to the helper is recorded, and the
// test plays the helper's and openvpn's part with the calls below.
struct HarnessConnection : ConnectionControl, RunEffects {
    NotificationCenter& center;
    LoginChain chain;
    RunMachine machine{*this, noticeAtOnce()};
    std::vector<std::string> done;                         // what went to the helper and openvpn
    std::optional<std::string> config, username, password; // of the last run asked for
    std::string nextAddress;

    HarnessConnection(NotificationCenter& c, LoginChain::Ports chainPorts)
        : center(c), chain(std::move(chainPorts)) {
        machine.leakBlock = {true, false}; // as the application has it by default
    }

    const ConnectionStatus& status() const override { return machine.status(); }
    void connect(const Credentials& credentials) override {
        RunEvent event = RunEvent::of(RunEvent::Kind::connect);
        event.credentials = credentials;
        machine.handle(event);
    }
    void stopOpenVPN() override { machine.handle(RunEvent::of(RunEvent::Kind::disconnect)); }
    void reconnect() override { machine.handle(RunEvent::of(RunEvent::Kind::reconnect)); }
    void releaseBlock() override {
        if (status().blocked())
            stopOpenVPN();
    }
    void setAutomaticReconnect(bool on) { machine.automaticReconnect = on; }
    bool automaticReconnect() const { return machine.automaticReconnect; }
    // A run with `account`'s answers: logged in, the profile saved, the helper asked.
    void connectThrough(FakeAccount& account) {
        connect({"a@example.com", "pw", false});
        account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
    }

    // openvpn's side: a state line (the helper's start and the management connection
    // first, if the run has not got that far), a byte count, its end.
    void updateState(const std::string& word) {
        event(RunEvent::Kind::helperStarted);
        event(RunEvent::Kind::attached);
        RunEvent line = RunEvent::of(RunEvent::Kind::stateLine, machine.currentRun(), word);
        line.extra = std::exchange(nextAddress, {});
        machine.handle(line);
    }
    void stateAddress(const std::string& address) { nextAddress = address; }
    void byteCount(uint64_t in, uint64_t out) {
        RunEvent count = RunEvent::of(RunEvent::Kind::byteCount, machine.currentRun());
        count.in = in;
        count.out = out;
        machine.handle(count);
    }
    void ended(int32_t exitStatus, bool blocking, const std::string& reason = {}) {
        event(RunEvent::Kind::managementClosed);
        RunEvent end = RunEvent::told(RunEvent::Kind::helperEnded, machine.currentRun(), reason);
        end.status = exitStatus;
        end.flag = blocking;
        machine.handle(end);
    }
    void event(RunEvent::Kind kind, const std::string& text = {}) {
        machine.handle(RunEvent::of(kind, machine.currentRun(), text));
    }

    void fetchProfile(uint64_t run, const Credentials& credentials) override {
        username = credentials.email;
        password = credentials.password;
        chain.fetch(credentials, [this, run](const ProfileSource::Outcome& outcome) {
            machine.handle(
                outcome.profilePath
                    ? RunEvent::of(RunEvent::Kind::profileReady, run, *outcome.profilePath)
                    : RunEvent::told(RunEvent::Kind::profileFailed, run, outcome.failure));
        });
    }
    void cancelProfile() override { chain.cancel(); }
    std::optional<std::pair<std::string, std::string>> scripts() override {
        return std::pair<std::string, std::string>{"/scripts/client.up", "/scripts/client.down"};
    }
    size_t servers(const std::string&) override { return serverCount; }
    size_t serverCount = 1; // in the profile of each run
    void askHelper(uint64_t, const RunRequest& request) override {
        config = request.config;
        done.push_back("run " + request.config);
    }
    void attach(uint64_t) override {}
    void startReading(uint64_t) override {}
    void send(const std::string& command) override { done.push_back(command); }
    void kill(uint64_t, bool keepBlock) override {
        done.push_back(keepBlock ? "kill, keeping the block" : "kill");
    }
    void releaseBlock(uint64_t) override { done.push_back("release"); }
    void watchBlock(uint64_t) override {}
    // Timers run only when the test fires them: the last one started of its kind.
    void startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds) override {
        timers[timer] = run;
    }
    void fire(RunTimer timer) {
        RunEvent event = RunEvent::of(RunEvent::Kind::timeout, timers[timer]);
        event.timer = timer;
        machine.handle(event);
    }
    std::map<RunTimer, uint64_t> timers;
    // A tunnel being remade is told of once its notice timer fires, whenever the test fires it.
    static RunTiming noticeAtOnce() {
        RunTiming timing;
        timing.reconnectNotice = std::chrono::milliseconds(0);
        return timing;
    }
    void statusChanged(bool) override { center.post(OpenVPNService::stateDidChangeNotification); }
    void trafficChanged() override { center.post(OpenVPNService::trafficDidChangeNotification); }
    void quitDone() override {}
    void log(const std::string&) override {}
};

// The login window's controller with a fake window, defaults and desktop, the given
// account service (a scripted fake by default) behind the real login chain, and the
// connection above.
struct ControllerHarness {
    NotificationCenter center;
    FakeView view;
    FakeDefaults defaults;
    FakeAccount account;
    FakeDesktop desktop;
    TempDir dir;
    SettingsPasswordStore defaultPasswords{defaults};
    std::vector<std::string> itemTitles;
    std::vector<std::string> itemStatuses;
    std::vector<bool> disconnectItem;
    std::unique_ptr<HarnessConnection> vpn;
    std::unique_ptr<MainViewController> controller;

    bool windowShown = true;

    explicit ControllerHarness(AccountService* accountService = nullptr,
                               PasswordStore* passwords = nullptr,
                               DesktopNotifications* notifications = nullptr,
                               std::optional<std::string> profilePath = std::nullopt) {
        vpn = std::make_unique<HarnessConnection>(
            center, LoginChain::Ports{accountService ? accountService : &account, &defaults,
                                      passwords ? passwords : &defaultPasswords,
                                      profilePath.value_or((dir / "quovant.ovpn").string())});
        MainViewController::Ports ports = basicPorts(view);
        ports.passwords = passwords;
        ports.desktopNotifications = notifications;
        ports.windowShown = [this] { return windowShown; };
        ports.setConnectItemTitle = [this](const std::string& t) { itemTitles.push_back(t); };
        ports.setStatusItemStatus = [this](const std::string& s) { itemStatuses.push_back(s); };
        ports.showDisconnectItem = [this](bool shown) { disconnectItem.push_back(shown); };
        controller = std::make_unique<MainViewController>(ports);
        controller->viewDidLoad();
    }

    // The harness's defaults, service and desktop, for a controller on `v`.
    MainViewController::Ports basicPorts(LoginView& v) {
        MainViewController::Ports ports;
        ports.view = &v;
        ports.defaults = &defaults;
        ports.vpn = vpn.get();
        ports.notifications = &center;
        ports.desktop = &desktop;
        return ports;
    }
};

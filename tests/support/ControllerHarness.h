#pragma once

#include "LoopbackServer.h"
#include "TempDir.h"
#include "platform/ManualMainQueue.h"
#include "ui/MainViewController.h"

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
};

struct FakeDesktop : Desktop {
    std::vector<std::string> opened;
    void openURL(const std::string& url) override { opened.push_back(url); }
};

// The login window's controller with a fake window, defaults and desktop, the given
// account service (a scripted fake by default), and a real service object whose
// management port is a LoopbackServer the test reads.
struct ControllerHarness {
    LoopbackServer management;
    ManualMainQueue queue;
    NotificationCenter center;
    FakeView view;
    FakeDefaults defaults;
    FakeAccount account;
    FakeDesktop desktop;
    TempDir dir;
    std::vector<std::string> itemTitles;
    std::vector<std::string> toolTips;
    std::unique_ptr<OpenVPNService> vpn;
    std::unique_ptr<MainViewController> controller;

    bool windowShown = true;

    explicit ControllerHarness(AccountService* accountService = nullptr,
                               PasswordStore* passwords = nullptr,
                               DesktopNotifications* notifications = nullptr) {
        OpenVPNService::Dependencies d;
        d.mainQueue = &queue;
        d.notifications = &center;
        d.managementPort = management.port();
        d.resourcePath = [](const std::string& name) -> std::optional<std::string> {
            return "/scripts/" + name;
        };
        d.trustManagementPeer = [](const TCPConnection&) { return true; };
        vpn = std::make_unique<OpenVPNService>(d);
        MainViewController::Ports ports = basicPorts(view);
        ports.passwords = passwords;
        ports.desktopNotifications = notifications;
        ports.windowShown = [this] { return windowShown; };
        if (accountService)
            ports.account = accountService;
        ports.setConnectItemTitle = [this](const std::string& t) { itemTitles.push_back(t); };
        ports.setStatusItemToolTip = [this](const std::string& t) { toolTips.push_back(t); };
        ports.profilePath = (dir / "quovant.ovpn").string();
        controller = std::make_unique<MainViewController>(ports);
        controller->viewDidLoad();
    }

    // The harness's defaults, account, service and desktop, for a controller on `v`.
    MainViewController::Ports basicPorts(LoginView& v) {
        MainViewController::Ports ports;
        ports.view = &v;
        ports.defaults = &defaults;
        ports.account = &account;
        ports.vpn = vpn.get();
        ports.notifications = &center;
        ports.desktop = &desktop;
        return ports;
    }
};

#pragma once

#include "ControllerHarness.h"
#include "HelperDaemon.h"
#include "QtWait.h"
#include "app/AppDelegate.h"
#include "app/MainStoryboard.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtSettingsStore.h"
#include "ui/PointingHandCursor.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

inline std::string screenshot(QWidget* window, const std::string& name) {
    std::filesystem::create_directories(QUOVANT_TEST_SCREENSHOT_DIR);
    const std::string path = std::string(QUOVANT_TEST_SCREENSHOT_DIR) + "/" + name + ".png";
    window->grab().save(QString::fromStdString(path));
    return path;
}

// The application as main() assembles it, with a scripted account service, the real
// helper daemon, and a management port the test reads.
struct App {
    HelperDaemon daemon;
    LoopbackServer management;
    QtMainQueue mainQueue{qApp};
    NotificationCenter center;
    QtSettingsStore settings;
    FakeAccount account;
    FakeDesktop desktop;
    std::atomic<int> terminations = 0;
    std::unique_ptr<OpenVPNService> vpn;
    std::unique_ptr<AppDelegate> delegate;
    Storyboard storyboard;

    explicit App(bool withViewController = true, const std::string& helperSocket = "") {
        QApplication::setQuitOnLastWindowClosed(false);
        PointingHandCursor::install();
        OpenVPNService::Dependencies d;
        d.mainQueue = &mainQueue;
        d.notifications = &center;
        d.managementPort = management.port();
        d.trustManagementPeer = [](const TCPConnection&) { return true; };
        d.resourcePath = [](const std::string& n) -> std::optional<std::string> {
            return "/s/" + n;
        };
        vpn = std::make_unique<OpenVPNService>(d);
        delegate = std::make_unique<AppDelegate>(HelperClient::Dependencies{
            &mainQueue, HelperDaemon::libexecDir(),
            helperSocket.empty() ? daemon.socketPath() : helperSocket, [this] { ++terminations; }});
        storyboard = mainStoryboard(*delegate, {&settings, &account, vpn.get(), &center, &desktop});
        if (!withViewController)
            storyboard.add("mainViewController", [] { return nullptr; });
        delegate->setStoryboard(&storyboard);
        delegate->applicationDidFinishLaunching();
        spin(std::chrono::milliseconds(50));
    }

    QWidget* form() { return delegate->window()->centralWidget(); }
    template <typename T> T* outlet(const char* name) {
        return delegate->window()->findChild<T*>(name);
    }
    QMessageBox* alert() { return delegate->window()->findChild<QMessageBox*>(); }
};

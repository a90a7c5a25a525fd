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
#include <optional>
#include <string>

inline std::string screenshot(QWidget* window, const std::string& name) {
    std::filesystem::create_directories(QUOVANT_TEST_SCREENSHOT_DIR);
    const std::string path = std::string(QUOVANT_TEST_SCREENSHOT_DIR) + "/" + name + ".png";
    window->grab().save(QString::fromStdString(path));
    return path;
}

// The application as main() assembles it, with a scripted account service behind the
// real login chain, the real helper daemon for the helper check, and the connection's
// run machine with the test in the helper's and openvpn's place.
struct App {
    // The test's own helper daemon, unless the test names the socket of one.
    std::optional<HelperDaemon> daemon;
    QtMainQueue mainQueue{qApp};
    NotificationCenter center;
    QtSettingsStore settings;
    SettingsPasswordStore passwords{settings};
    FakeAccount account;
    FakeDesktop desktop;
    std::atomic<int> terminations = 0;
    TempDir dir;
    std::unique_ptr<HarnessConnection> vpn;
    std::unique_ptr<AppDelegate> delegate;
    Storyboard storyboard;

    explicit App(bool withViewController = true, const std::string& helperSocket = "") {
        if (helperSocket.empty())
            daemon.emplace();
        QApplication::setQuitOnLastWindowClosed(false);
        PointingHandCursor::install();
        vpn = std::make_unique<HarnessConnection>(
            center,
            LoginChain::Ports{&account, &settings, &passwords, (dir / "quovant.ovpn").string()});
        delegate = std::make_unique<AppDelegate>(
            HelperClient::Dependencies{&mainQueue, HelperDaemon::libexecDir(),
                                       helperSocket.empty() ? daemon->socketPath() : helperSocket,
                                       [this] { ++terminations; }});
        storyboard = mainStoryboard(*delegate, {&settings, vpn.get(), &center, &desktop});
        if (!withViewController)
            storyboard.add("mainViewController", [] { return nullptr; });
        delegate->setStoryboard(&storyboard);
        // A tray that is there comes at once; one that is not is not waited for long.
        delegate->setTrayGrace(std::chrono::milliseconds(200));
        delegate->applicationDidFinishLaunching();
        spin(std::chrono::milliseconds(50));
    }

    QWidget* form() { return delegate->window()->centralWidget(); }
    template <typename T> T* outlet(const char* name) {
        return delegate->window()->findChild<T*>(name);
    }
    QMessageBox* alert() { return delegate->window()->findChild<QMessageBox*>(); }
};

#pragma once

#include "AccountServiceProcess.h"
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "XvfbDisplay.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// Everything the real quovant binary talks to, on this machine: the openvpn server,
// the helper daemon, the account service with the demo user, a private home
// (settings, runtime directory) and, when headless, an Xvfb display. Call from a
// process already in its own network namespace (isolateNetwork()).
class ProductStack {
public:
    static constexpr const char* email = "demo@quovant.test";
    static constexpr const char* password = "quovant-demo";
    static constexpr uid_t appUid = 1000;

    // `accountSwitches` make the account service misbehave (see tools/account-service).
    explicit ProductStack(bool headless, const std::vector<std::string>& accountSwitches = {});

    // Headless only: saves a picture of the whole screen (window and any alert on it).
    void screenshot(const std::string& file) const;

    // Starts quovant with the environment that points it at this stack, and `extra`
    // ("NAME=value") beside it.
    std::unique_ptr<ChildProcess> startQuovant(const std::vector<std::string>& extra = {});
    // `quovant ARGS` as `uid` with the application's environment, to its end (at most
    // `limit`): its exit status (-1 when it ran longer), and what it wrote to standard
    // output and error.
    struct Outcome {
        int status = -1;
        std::string output;
    };
    // `environment`: "NAME=value" for this command alone.
    Outcome runQuovant(const std::vector<std::string>& args, uid_t uid = appUid,
                       std::chrono::seconds limit = std::chrono::seconds(90),
                       const std::vector<std::string>& environment = {});
    // The same, left running: its output goes to `outputFile`.
    std::unique_ptr<ChildProcess> startQuovantCommand(const std::vector<std::string>& args,
                                                      const std::string& outputFile);
    // The application's XDG_RUNTIME_DIR (its single-instance socket).
    std::filesystem::path runtimeDir() const { return home_ / "runtime"; }
    std::filesystem::path logFile() const { return home_ / "quovant.log"; }
    std::string appLog() const { return readFile(logFile()); }
    // The application's XDG_CONFIG_HOME (its settings, its autostart entry).
    std::filesystem::path configDir() const { return home_ / "config"; }
    bool logged(const std::string& text) const { return appLog().find(text) != std::string::npos; }

    // Headless only: the window's X id once it is visible (empty on time-out).
    std::string waitForWindow();
    // Types the demo user's e-mail and password into the window, the password field
    // keeping the focus.
    void enterCredentials(const std::string& window);
    // Enters the credentials and presses Return.
    void logIn(const std::string& window);
    // Headless only: opens Quovant's menu from its icon in the tray and triggers the
    // connect item (the first). False when the icon cannot be found.
    bool chooseConnectItemFromTray() { return chooseItemFromTray(1); }
    // The same for the item at `index` in the menu (separators not counted).
    bool chooseItemFromTray(size_t index);
    // Headless only: how many of Quovant's windows are on the screen (its window, its
    // tray icon, an open alert).
    size_t visibleWindows();
    // Headless only: rests the pointer on Quovant's tray icon (its tooltip follows).
    bool hoverTrayIcon();

    OpenVPNServer server{std::vector<OpenVPNServer::Account>{{email, password}}};
    HelperDaemon helper;
    std::unique_ptr<AccountServiceProcess> account;

private:
    // Quovant with `args`, as `uid` when headless (its home handed to the application's user).
    std::unique_ptr<ChildProcess> startAsUser(const std::vector<std::string>& args,
                                              ChildProcess::Options options, uid_t uid);
    // The X id of Quovant's icon in the tray; empty when there is none.
    std::string trayIcon();

    TempDir home_{"quovant-home"};
    std::unique_ptr<XvfbDisplay> xvfb_;
    std::unique_ptr<ChildProcess> tray_;
    std::vector<std::string> environment_;
};

// Runs a short command and returns its standard output without the trailing line feeds.
std::string outputOf(const std::vector<std::string>& argv);

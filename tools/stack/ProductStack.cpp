#include "ProductStack.h"

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <unistd.h>

std::string outputOf(const std::vector<std::string>& argv) {
    std::string out;
    runCommand(argv, &out, std::chrono::seconds(20));
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

ProductStack::ProductStack(bool headless, const std::vector<std::string>& accountSwitches) {
    if (!server.waitUntilReady())
        throw std::runtime_error("the openvpn server did not start:\n" + server.log());
    account = std::make_unique<AccountServiceProcess>(
        std::vector<std::string>{std::string(email) + ":" + password}, server.clientProfile(),
        accountSwitches);
    std::filesystem::create_directory(home_ / "runtime");
    std::filesystem::permissions(home_ / "runtime", std::filesystem::perms(0700));
    environment_ = {"QUOVANT_ACCOUNT_HOST=" + std::string(AccountServiceProcess::address),
                    "QUOVANT_CA_FILE=" + account->caFile(),
                    "QUOVANT_HELPER_SOCKET=" + helper.socketPath(),
                    "QUOVANT_HELPER_DIR=" + helper.installDir(),
                    "XDG_CONFIG_HOME=" + (home_ / "config").string(),
                    "XDG_RUNTIME_DIR=" + (home_ / "runtime").string(),
                    // The product's own texts and figures, whatever this machine's locale;
                    // LANGUAGE still chooses a translation.
                    "LC_ALL=C.UTF-8"};
    if (!headless)
        return;
    xvfb_ = std::make_unique<XvfbDisplay>(std::vector<std::string>{"-screen", "0", "640x560x24"});
    const std::string& display = xvfb_->name();
    ::setenv("DISPLAY", display.c_str(), 1);
    environment_.push_back("DISPLAY=" + display);
    environment_.push_back("QT_QPA_PLATFORM=xcb");
    // A system tray for Quovant's icon, as a desktop panel would give it. A tray whose window
    // does not show (it ended, or 10 s passed) is started anew, three times at most; then
    // the stack cannot be had.
    for (int attempt = 0; attempt < 3; ++attempt) {
        tray_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "64",
            "--height", "24", "--transparent", "false", "--SetDockType", "false"});
        if (pollUntil(
                [] {
                    return !outputOf({"xdotool", "search", "--class", "trayer"}).empty();
                },
                std::chrono::seconds(10), [this] { return !tray_->running(); }))
            return;
    }
    throw std::runtime_error("the system tray did not show on " + display);
}

std::unique_ptr<ChildProcess> ProductStack::startQuovant(const std::vector<std::string>& extra) {
    ChildProcess::Options options;
    options.outputFile = (home_ / "quovant.log").string();
    options.extraEnvironment = environment_;
    options.extraEnvironment.insert(options.extraEnvironment.end(), extra.begin(), extra.end());
    return startAsUser({}, options, appUid);
}

std::unique_ptr<ChildProcess>
ProductStack::startQuovantCommand(const std::vector<std::string>& args,
                                  const std::string& outputFile) {
    ChildProcess::Options options;
    options.outputFile = outputFile;
    options.extraEnvironment = environment_;
    return startAsUser(args, options, appUid);
}

ProductStack::Outcome ProductStack::runQuovant(const std::vector<std::string>& args, uid_t uid,
                                               std::chrono::seconds limit,
                                               const std::vector<std::string>& environment) {
    TempDir scratch("quovant-command");
    const std::string file = (scratch / "output").string();
    ChildProcess::Options options;
    options.outputFile = file;
    options.extraEnvironment = environment_;
    options.extraEnvironment.insert(options.extraEnvironment.end(), environment.begin(),
                                    environment.end());
    auto command = startAsUser(args, options, uid);
    const auto status = command->waitFor(limit);
    return {status.value_or(-1), readFile(file)};
}

std::unique_ptr<ChildProcess> ProductStack::startAsUser(const std::vector<std::string>& args,
                                                        ChildProcess::Options options, uid_t uid) {
    if (xvfb_) {
        // Headless, Quovant runs as the ordinary user it is made for, on a display that
        // lets every local user in. With a desktop's display it runs as its caller.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path()))
            if (::lchown(entry.path().c_str(), appUid, appUid) != 0)
                throw std::runtime_error("cannot hand " + entry.path().string() + " to the user");
        if (::chown(home_.path().c_str(), appUid, appUid) != 0)
            throw std::runtime_error("cannot hand the home to the user");
        options.uid = uid;
    }
    std::vector<std::string> argv{std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv, options);
}

void ProductStack::screenshot(const std::string& file) const {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    outputOf({"import", "-window", "root", file});
}

std::string ProductStack::waitForWindow() {
    const std::string found =
        outputOf({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quovant$"});
    return found.substr(0, found.find('\n'));
}

void ProductStack::enterCredentials(const std::string& window) {
    outputOf({"xdotool", "windowfocus", "--sync", window});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    outputOf({"xdotool", "type", "--window", window, "--delay", "20", email});
    outputOf({"xdotool", "key", "--window", window, "Tab"});
    outputOf({"xdotool", "type", "--window", window, "--delay", "20", password});
}

void ProductStack::logIn(const std::string& window) {
    enterCredentials(window);
    outputOf({"xdotool", "key", "--window", window, "Return"});
}

std::string ProductStack::trayIcon() {
    // Quovant's tray icon is the small window of its class embedded in the tray.
    for (const auto& candidate : [&] {
             std::vector<std::string> ids;
             std::string all = outputOf({"xdotool", "search", "--classname", "quovant"});
             for (size_t start = 0; start < all.size();) {
                 const size_t end = all.find('\n', start);
                 ids.push_back(
                     all.substr(start, end == std::string::npos ? std::string::npos : end - start));
                 start = end == std::string::npos ? all.size() : end + 1;
             }
             return ids;
         }()) {
        const std::string geometry =
            outputOf({"xdotool", "getwindowgeometry", "--shell", candidate});
        const size_t w = geometry.find("WIDTH=");
        if (w != std::string::npos && std::stoi(geometry.substr(w + 6)) <= 32)
            return candidate;
    }
    return {};
}

bool ProductStack::chooseItemFromTray(size_t index) {
    const std::string icon = trayIcon();
    if (icon.empty())
        return false;
    outputOf({"xdotool", "mousemove", "--window", icon, "8", "8", "click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::vector<std::string> keys{"xdotool", "key"};
    keys.insert(keys.end(), index + 1, "Down");
    keys.push_back("Return");
    outputOf(keys);
    return true;
}

size_t ProductStack::visibleWindows() {
    const std::string found =
        outputOf({"xdotool", "search", "--onlyvisible", "--classname", "quovant"});
    return found.empty() ? 0
                         : static_cast<size_t>(std::count(found.begin(), found.end(), '\n')) + 1;
}

bool ProductStack::hoverTrayIcon() {
    const std::string icon = trayIcon();
    if (icon.empty())
        return false;
    outputOf({"xdotool", "mousemove", "--window", icon, "8", "8"});
    return true;
}

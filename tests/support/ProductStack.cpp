#include "ProductStack.h"

#include <stdexcept>
#include <thread>
#include <unistd.h>

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, const std::function<bool()>& stop) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (stop() || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string outputOf(const std::vector<std::string>& argv) {
    std::string out;
    runCommand(argv, &out, std::chrono::seconds(20));
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

ProductStack::ProductStack(bool headless) {
    if (!server.waitUntilReady())
        throw std::runtime_error("the openvpn server did not start:\n" + server.log());
    account = std::make_unique<AccountServiceProcess>(
        std::vector<std::string>{std::string(email) + ":" + password}, server.clientProfile());
    std::filesystem::create_directory(home_ / "runtime");
    std::filesystem::permissions(home_ / "runtime", std::filesystem::perms(0700));
    environment_ = {"QUOVANT_ACCOUNT_HOST=" + std::string(AccountServiceProcess::address),
                    "QUOVANT_CA_FILE=" + account->caFile(),
                    "QUOVANT_HELPER_SOCKET=" + helper.socketPath(),
                    "QUOVANT_HELPER_DIR=" + helper.installDir(),
                    "XDG_CONFIG_HOME=" + (home_ / "config").string(),
                    "XDG_RUNTIME_DIR=" + (home_ / "runtime").string()};
    if (!headless)
        return;
    const std::string display = ":" + std::to_string(90 + ::getpid() % 100);
    xvfb_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", display, "-screen", "0", "640x560x24", "-nolisten", "tcp"});
    const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
    if (!pollUntil([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(10)))
        throw std::runtime_error("Xvfb did not start");
    ::setenv("DISPLAY", display.c_str(), 1);
    environment_.push_back("DISPLAY=" + display);
    environment_.push_back("QT_QPA_PLATFORM=xcb");
}

std::unique_ptr<ChildProcess> ProductStack::startQuovant() {
    ChildProcess::Options options;
    options.outputFile = (home_ / "quovant.log").string();
    options.extraEnvironment = environment_;
    return std::make_unique<ChildProcess>(std::vector<std::string>{std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"},
                                          options);
}

std::string ProductStack::waitForWindow() {
    const std::string found = outputOf({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quovant$"});
    return found.substr(0, found.find('\n'));
}

void ProductStack::logIn(const std::string& window) {
    outputOf({"xdotool", "windowfocus", "--sync", window});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    outputOf({"xdotool", "type", "--window", window, "--delay", "20", email});
    outputOf({"xdotool", "key", "--window", window, "Tab"});
    outputOf({"xdotool", "type", "--window", window, "--delay", "20", password});
    outputOf({"xdotool", "key", "--window", window, "Return"});
}

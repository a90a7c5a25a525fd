// quovant-demo: Quovant on its built-in local default. Brings up, in a network
// namespace of its own, a throwaway PKI and openvpn server, the account service with
// a demo user and a profile for that server, and the helper daemon; then starts the
// real quovant pointed at them. With a display the window appears and the demo runs
// until Quovant quits (or Ctrl-C). Without one (or with --headless) it runs Quovant
// under Xvfb, logs in by itself, saves a screenshot of the connected window, and ends.
// --check additionally pings through the tunnel, disconnects with the window's
// button and makes sure no openvpn is left. Everything it started ends with it.
#include "AccountServiceProcess.h"
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "OpenVPNServer.h"
#include "TestNetwork.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr const char* email = "demo@quovant.test";
constexpr const char* password = "quovant-demo";

std::atomic<bool> interrupted{false};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (interrupted || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

int fail(const std::string& why, const std::string& log) {
    std::fprintf(stderr, "quovant-demo: %s\n--- quovant's log ---\n%s\n", why.c_str(), log.c_str());
    return 1;
}

std::string run(const std::vector<std::string>& argv) {
    std::string out;
    runCommand(argv, &out, 20s);
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace

int main(int argc, char** argv) {
    bool headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    bool check = false;
    std::string screenshot = (std::filesystem::current_path() / "quovant-connected.png").string();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            headless = true;
        else if (arg == "--check")
            check = headless = true;
        else if (arg == "--screenshot" && i + 1 < argc)
            screenshot = std::filesystem::absolute(argv[++i]).string();
        else {
            std::fprintf(stderr, "usage: quovant-demo [--headless] [--check] [--screenshot FILE]\n");
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });

    isolateNetwork();
    std::printf("Starting the local openvpn server, the helper and the account service...\n");
    OpenVPNServer server(std::vector<OpenVPNServer::Account>{{email, password}});
    if (!server.waitUntilReady())
        return fail("the openvpn server did not start", server.log());
    HelperDaemon helper;
    AccountServiceProcess account({std::string(email) + ":" + password}, server.clientProfile());

    TempDir home("quovant-demo-home");
    std::filesystem::create_directory(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms(0700));
    const std::string appLog = (home / "quovant.log").string();
    ChildProcess::Options options;
    options.outputFile = appLog;
    options.extraEnvironment = {"QUOVANT_ACCOUNT_HOST=" + std::string(AccountServiceProcess::address),
                                "QUOVANT_CA_FILE=" + account.caFile(),
                                "QUOVANT_HELPER_SOCKET=" + helper.socketPath(),
                                "QUOVANT_HELPER_DIR=" + helper.installDir(),
                                "XDG_CONFIG_HOME=" + (home / "config").string(),
                                "XDG_RUNTIME_DIR=" + (home / "runtime").string()};

    std::unique_ptr<ChildProcess> xvfb;
    if (headless) {
        const std::string display = ":" + std::to_string(90 + ::getpid() % 100);
        xvfb = std::make_unique<ChildProcess>(
            std::vector<std::string>{"Xvfb", display, "-screen", "0", "640x560x24", "-nolisten", "tcp"});
        const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
        if (!waitFor([&] { return std::filesystem::exists(socket); }, 10s))
            return fail("Xvfb did not start", "");
        ::setenv("DISPLAY", display.c_str(), 1);
        options.extraEnvironment.push_back("DISPLAY=" + display);
        options.extraEnvironment.push_back("QT_QPA_PLATFORM=xcb");
    }

    const std::string quovantBinary = std::string(QUOVANT_TEST_BIN_DIR) + "/quovant";
    ChildProcess quovant({quovantBinary}, options);
    auto logged = [&](const std::string& text) { return readFile(appLog).find(text) != std::string::npos; };

    if (!headless) {
        std::printf("\nQuovant is running. Log in with\n    e-mail:   %s\n    password: %s\n"
                    "Quit Quovant from its tray menu (or press Ctrl-C here) to end the demo.\n",
                    email, password);
        std::fflush(stdout);
        waitFor([&] { return !quovant.running(); }, std::chrono::hours(24));
        return 0;
    }

    const std::string window = run({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quovant$"});
    if (window.empty())
        return fail("the Quovant window did not appear", readFile(appLog));
    const std::string wid = window.substr(0, window.find('\n'));
    run({"xdotool", "windowfocus", "--sync", wid});
    std::this_thread::sleep_for(300ms);
    std::printf("Logging in as %s ...\n", email);
    run({"xdotool", "type", "--window", wid, "--delay", "20", email});
    run({"xdotool", "key", "--window", wid, "Tab"});
    run({"xdotool", "type", "--window", wid, "--delay", "20", password});
    run({"xdotool", "key", "--window", wid, "Return"});
    if (!waitFor([&] { return logged("\nCONNECTED\n"); }, 60s))
        return fail("Quovant did not reach CONNECTED", readFile(appLog));
    std::this_thread::sleep_for(500ms); // let the connected look be painted
    run({"import", "-window", wid, screenshot});
    if (!std::filesystem::exists(screenshot))
        return fail("no screenshot could be taken", "");
    std::printf("Connected. Screenshot of the connected window: %s\n", screenshot.c_str());

    if (check) {
        if (runCommand({"ping", "-c", "1", "-W", "5", OpenVPNServer::tunnelAddress}) != 0)
            return fail("no packet crossed the tunnel", readFile(appLog));
        std::printf("A ping crossed the tunnel to %s.\n", OpenVPNServer::tunnelAddress);
        // The connect button, now "Verbinding verbreken", sits in the middle of the window.
        run({"xdotool", "mousemove", "--window", wid, "170", "355", "click", "1"});
        if (!waitFor([&] { return logged("OpenVPN exited"); }, 30s))
            return fail("disconnecting did not end openvpn", readFile(appLog));
        if (!waitFor([&] { return logged("\nNOPROCESS\n"); }, 15s))
            return fail("the window did not return to its disconnected look", readFile(appLog));
        const std::string helperLog = helper.log();
        const size_t at = helperLog.rfind("openvpn started, pid ");
        if (at == std::string::npos || helperLog.find("openvpn ended", at) == std::string::npos)
            return fail("openvpn is still running", helperLog);
        std::printf("Disconnected; no openvpn is left running.\n");
    }
    quovant.stop();
    std::printf("Demo finished; everything it started has ended.\n");
    return 0;
}

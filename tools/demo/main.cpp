// quovant-demo: Quovant on its built-in local default. Brings up, in a network
// namespace of its own, a throwaway PKI and openvpn server, the account service with
// a demo user and a profile for that server, and the helper daemon; then starts the
// real quovant pointed at them. With a display the window appears and the demo runs
// until Quovant quits (or Ctrl-C). Without one (or with --headless) it runs Quovant
// under Xvfb, logs in by itself, saves a screenshot of the connected window, and ends.
// --check additionally pings through the tunnel, disconnects from the tray menu and
// makes sure no openvpn is left. Everything it started ends with it.
#include "ProductStack.h"
#include "TestNetwork.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::atomic<bool> interrupted{false};

int fail(const std::string& why, const std::string& log) {
    std::fprintf(stderr, "quovant-demo: %s\n--- log ---\n%s\n", why.c_str(), log.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    bool headless = !(display && *display) && !(wayland && *wayland);
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
            std::fprintf(stderr,
                         "usage: quovant-demo [--headless] [--check] [--screenshot FILE]\n");
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    const auto stopped = [] { return interrupted.load(); };

    isolateNetwork();
    std::printf("Starting the local openvpn server, the helper and the account service...\n");
    std::fflush(stdout);
    ProductStack stack(headless);
    auto quovant = stack.startQuovant();

    if (!headless) {
        std::printf("\nQuovant is running. Log in with\n    e-mail:   %s\n    password: %s\n"
                    "Quit Quovant from its tray menu (or press Ctrl-C here) to end the demo.\n",
                    ProductStack::email, ProductStack::password);
        std::fflush(stdout);
        pollUntil([&] { return !quovant->running(); }, std::chrono::hours(24), stopped);
        return 0;
    }

    const std::string window = stack.waitForWindow();
    if (window.empty())
        return fail("the Quovant window did not appear", stack.appLog());
    std::printf("Logging in as %s ...\n", ProductStack::email);
    stack.logIn(window);
    if (!pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s, stopped))
        return fail("Quovant did not reach CONNECTED", stack.appLog());
    std::this_thread::sleep_for(500ms); // let the connected look be painted
    outputOf({"import", "-window", window, screenshot});
    if (!std::filesystem::exists(screenshot))
        return fail("no screenshot could be taken", "");
    std::printf("Connected. Screenshot of the connected window: %s\n", screenshot.c_str());

    if (check) {
        if (runCommand({"ping", "-c", "1", "-W", "5", OpenVPNServer::tunnelAddress}) != 0)
            return fail("no packet crossed the tunnel", stack.appLog());
        std::printf("A ping crossed the tunnel to %s.\n", OpenVPNServer::tunnelAddress);
        // Disconnect from the tray menu: its connect item runs the window's connect action.
        if (!stack.chooseConnectItemFromTray())
            return fail("Quovant's icon is not in the tray", stack.appLog());
        if (!pollUntil([&] { return stack.logged("OpenVPN exited"); }, 30s, stopped))
            return fail("disconnecting did not end openvpn", stack.appLog());
        if (!pollUntil([&] { return stack.logged("\nNOPROCESS\n"); }, 15s, stopped))
            return fail("the window did not return to its disconnected look", stack.appLog());
        const std::string helperLog = stack.helper.log();
        const size_t at = helperLog.rfind("openvpn started, pid ");
        if (at == std::string::npos || helperLog.find("openvpn ended", at) == std::string::npos)
            return fail("openvpn is still running", helperLog);
        std::printf("Disconnected from the tray menu; no openvpn is left running.\n");
    }
    quovant->stop();
    std::printf("Demo finished; everything it started has ended.\n");
    return 0;
}

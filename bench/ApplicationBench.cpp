// The real quovant binary and helper, measured: time from launch to the window shown
// (Xvfb), resident memory of the idle application and of the helper, and wakeups per
// second of the application while disconnected and while connected. Needs root; runs
// the product stack in a private network namespace. Argument: launch rounds (default 5).
#include "ProductStack.h"
#include "TestNetwork.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long statusField(pid_t pid, const std::string& task, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + task + "/status");
    std::string name;
    long value = 0;
    while (status >> name) {
        if (name == key) {
            status >> value;
            return value;
        }
    }
    return 0;
}

double residentMiB(pid_t pid) {
    return statusField(pid, "", "VmRSS:") / 1024.0;
}

// Context switches of all the process's threads: each is a wakeup of one of them.
long wakeups(pid_t pid) {
    long total = 0;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* tasks = ::opendir(dir.c_str());
    if (!tasks)
        return 0;
    while (dirent* e = ::readdir(tasks)) {
        const std::string tid = e->d_name;
        if (tid == "." || tid == "..")
            continue;
        total += statusField(pid, "/task/" + tid, "voluntary_ctxt_switches:") +
                 statusField(pid, "/task/" + tid, "nonvoluntary_ctxt_switches:");
    }
    ::closedir(tasks);
    return total;
}

double wakeupsPerSecond(pid_t pid, std::chrono::seconds over) {
    const long before = wakeups(pid);
    std::this_thread::sleep_for(over);
    return double(wakeups(pid) - before) / double(over.count());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    isolateNetwork();
    ProductStack stack(true);

    std::vector<double> launches;
    std::unique_ptr<ChildProcess> quovant;
    for (int round = 0; round < rounds; ++round) {
        if (quovant)
            quovant->stop();
        const auto t0 = Clock::now();
        quovant = stack.startQuovant();
        std::string window;
        while (window.empty() && Clock::now() - t0 < 20s)
            window = outputOf({"xdotool", "search", "--onlyvisible", "--name", "^Quovant$"});
        if (window.empty()) {
            std::fprintf(stderr, "the window did not appear:\n%s\n", stack.appLog().c_str());
            return 1;
        }
        launches.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(launches.begin(), launches.end());
    const std::string window = stack.waitForWindow();
    std::this_thread::sleep_for(2s); // the helper check and first paint are over

    const pid_t app = quovant->pid();
    const pid_t helper = stack.helper.process().pid();
    const double appIdle = residentMiB(app);
    const double helperIdle = residentMiB(helper);
    const double disconnected = wakeupsPerSecond(app, 10s);

    // The same measure of the least a Qt tray application takes, on the same display.
    ChildProcess minimal({QUOVANT_MINIMAL_TRAY}, {});
    const bool minimalShown =
        !outputOf({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Minimal$"}).empty();
    std::this_thread::sleep_for(2s);
    const double minimalIdle = minimalShown ? residentMiB(minimal.pid()) : 0;
    minimal.stop();

    stack.logIn(window);
    if (!pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s)) {
        std::fprintf(stderr, "no CONNECTED:\n%s\n", stack.appLog().c_str());
        return 1;
    }
    std::this_thread::sleep_for(2s);
    const double connected = wakeupsPerSecond(app, 10s);
    const double helperConnected = residentMiB(helper);

    std::printf("launch to window shown: median %.0f ms over %d launches (target <= 300 ms)\n",
                launches[launches.size() / 2], rounds);
    std::printf("resident memory, idle application: %.1f MiB (target <= 40 MiB); a minimal Qt "
                "tray application: %.1f MiB; ratio %.2f (target <= 1.15)\n",
                appIdle, minimalIdle, minimalIdle > 0 ? appIdle / minimalIdle : 0.0);
    std::printf("resident memory, helper: %.1f MiB idle, %.1f MiB while running openvpn (target <= "
                "5 MiB)\n",
                helperIdle, helperConnected);
    std::printf("application wakeups per second: %.1f disconnected (target 0), %.1f connected "
                "(target <= 1)\n",
                disconnected, connected);
    return 0;
}

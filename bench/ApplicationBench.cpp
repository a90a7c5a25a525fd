// The real quovant binary and helper, measured: time from launch to the window shown
// (Xvfb), memory of the application before any login, while connected and after a
// connect and disconnect, each beside a minimal Qt tray application running in the same
// X server all along (so both share what they can), memory of the helper, and wakeups
// per second of the application while disconnected and while connected. Needs root; runs
// the product stack in a private network namespace. Arguments: launch rounds (default 5)
// and, optionally, a directory for each row's smaps.
#include "ProductStack.h"
#include "TestNetwork.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
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

// kB from /proc/PID/smaps_rollup: resident, proportional (shared pages divided among
// their users) and private (clean and dirty: what the process alone holds).
struct Memory {
    long rss = 0, pss = 0, privatePages = 0;
};

// With a directory named after the rounds, each row's /proc/PID/smaps is saved there too,
// to see which mappings make up the difference.
std::string smapsDir;

Memory memoryOf(pid_t pid, const char* row = nullptr) {
    if (row && !smapsDir.empty()) {
        std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
        std::ofstream(smapsDir + "/" + row + ".smaps") << smaps.rdbuf();
    }
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    Memory memory;
    std::string line;
    while (std::getline(rollup, line)) {
        std::istringstream fields(line);
        std::string key;
        long kB = 0;
        fields >> key >> kB;
        if (key == "Rss:")
            memory.rss = kB;
        else if (key == "Pss:")
            memory.pss = kB;
        else if (key == "Private_Clean:" || key == "Private_Dirty:")
            memory.privatePages += kB;
    }
    return memory;
}

void printMemory(const char* what, const Memory& app, const Memory& minimal) {
    std::printf("  %-44s %8ld %8ld %8ld   Rss %.2fx (target <= 1.15), private %.2fx (target <= "
                "2)\n",
                what, app.rss, app.pss, app.privatePages, double(app.rss) / double(minimal.rss),
                double(app.privatePages) / double(minimal.privatePages));
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
    smapsDir = argc > 2 ? argv[2] : "";
    isolateNetwork();
    ProductStack stack(true);

    // The yardstick runs from the start, on the same display, so that the pages both map
    // are shared between them in every row as they would be on a desktop.
    ChildProcess minimal({QUOVANT_MINIMAL_TRAY}, {});
    if (outputOf({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Minimal$"}).empty()) {
        std::fprintf(stderr, "the minimal tray application did not show its window\n");
        return 1;
    }

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
    const double helperIdle = residentMiB(helper);
    const double disconnected = wakeupsPerSecond(app, 10s);

    const Memory beforeLogin = memoryOf(app, "before-login");
    const Memory minimalIdle = memoryOf(minimal.pid(), "minimal");

    stack.logIn(window);
    if (!pollUntil([&] { return stack.logged("\nCONNECTED\n"); }, 60s)) {
        std::fprintf(stderr, "no CONNECTED:\n%s\n", stack.appLog().c_str());
        return 1;
    }
    std::this_thread::sleep_for(2s);
    const double connected = wakeupsPerSecond(app, 10s);
    const double helperConnected = residentMiB(helper);
    // After 12 s connected, as the application spends its time.
    const Memory whileConnected = memoryOf(app, "connected");
    const Memory minimalConnected = memoryOf(minimal.pid());

    // The button holds the focus once the form is locked: the space bar disconnects.
    const size_t connectedAt = stack.appLog().size();
    outputOf({"xdotool", "key", "space"});
    if (!pollUntil(
            [&] { return stack.appLog().find("\nNOPROCESS\n", connectedAt) != std::string::npos; },
            30s)) {
        std::fprintf(stderr, "no NOPROCESS:\n%s\n", stack.appLog().c_str());
        return 1;
    }
    std::this_thread::sleep_for(10s);
    const Memory afterUse = memoryOf(app, "after-use");
    const Memory minimalAfter = memoryOf(minimal.pid());

    std::printf("launch to window shown: median %.0f ms over %d launches (target <= 300 ms)\n",
                launches[launches.size() / 2], rounds);
    std::printf("memory in kB (smaps_rollup)                       Rss      Pss  private\n");
    printMemory("quovant before any login", beforeLogin, minimalIdle);
    printMemory("quovant connected (12 s after CONNECTED)", whileConnected, minimalConnected);
    printMemory("quovant disconnected after use (10 s after)", afterUse, minimalAfter);
    std::printf("  %-44s %8ld %8ld %8ld   (at the last row; %ld/%ld/%ld kB before login)\n",
                "minimal Qt tray application", minimalAfter.rss, minimalAfter.pss,
                minimalAfter.privatePages, minimalIdle.rss, minimalIdle.pss,
                minimalIdle.privatePages);
    std::printf("resident memory, idle application: %.1f MiB (target <= 40 MiB)\n",
                beforeLogin.rss / 1024.0);
    std::printf("resident memory, helper: %.1f MiB idle, %.1f MiB while running openvpn (target <= "
                "5 MiB)\n",
                helperIdle, helperConnected);
    std::printf("application wakeups per second: %.1f disconnected (target 0), %.1f connected "
                "(target <= 1)\n",
                disconnected, connected);
    return 0;
}

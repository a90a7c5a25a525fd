// Soak: N connect/disconnect cycles through the VPN service on the real stack (server,
// helper daemon as root, openvpn), printing this process's resident memory and open
// descriptors after each cycle and their slope per cycle after a warm-up. Needs root:
// it runs in a private network namespace with the test fixtures. Arguments: the number
// of cycles (default 200) and of warm-up cycles left out of the slope (default 20).
#include "TestNetwork.h"
#include "VpnStack.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

long openDescriptors() {
    return static_cast<long>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                           std::filesystem::directory_iterator()));
}

// Least-squares slope of `values` over their index.
double slope(const std::vector<double>& values) {
    const double n = static_cast<double>(values.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        const double x = static_cast<double>(i);
        sx += x;
        sy += values[i];
        sxx += x * x;
        sxy += x * values[i];
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
    const int warmUp = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, cycles - 2) : 20;
    isolateNetwork();
    VpnStack vpn(std::vector<OpenVPNServer::Account>{{"soak@example.com", "soak password"}});
    vpn.prepare("soak@example.com", "soak password");

    // The management echo and the log go to /dev/null, the figures to standard output.
    const int figures = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);

    std::vector<double> rss, fds;
    ::dprintf(figures, "cycle  rss_kib  fds\n");
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        vpn.service->startOpenVPN();
        if (!vpn.waitForState("CONNECTED"))
            return 1;
        vpn.service->stopOpenVPN();
        if (!vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); },
                                      std::chrono::seconds(30)))
            return 1;
        vpn.mainQueue.drain();
        vpn.service->takeFailure();
        vpn.seenStates.clear(); // the bench's own record, not the service's
        const long kib = residentKiB(), open = openDescriptors();
        ::dprintf(figures, "%5d  %7ld  %3ld\n", cycle, kib, open);
        if (cycle > warmUp) {
            rss.push_back(static_cast<double>(kib));
            fds.push_back(static_cast<double>(open));
        }
    }
    ::dprintf(figures,
              "after %d warm-up cycles, over %zu cycles: rss %+.3f kB/cycle, fds %+.4f/cycle\n",
              warmUp, rss.size(), slope(rss), slope(fds));
    return 0;
}

// Soak: N connect/disconnect cycles through the VPN service on the real stack (server,
// helper daemon as root, openvpn), printing this process's resident memory and open
// descriptors after each cycle and their slope per cycle after a warm-up. Needs root:
// it runs in a private network namespace with the test fixtures. Arguments: the number
// of cycles (default 200) and of warm-up cycles left out of the slope (default 20).
#include "SoakFigures.h"
#include "TestNetwork.h"
#include "VpnStack.h"

#include <algorithm>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

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

    SoakFigures soak(::getpid(), cycles, warmUp, figures);
    // The heap in use, apart from what the allocator keeps: growth here is memory held,
    // growth of RSS alone is the allocator's.
    std::vector<double> heap;
    heap.reserve(static_cast<size_t>(cycles));
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        vpn.service->startOpenVPN();
        if (!vpn.waitForState("CONNECTED")) {
            ::dprintf(figures, "cycle %d: no CONNECTED (state %s)\n", cycle,
                      vpn.service->state().c_str());
            return 1;
        }
        vpn.service->stopOpenVPN();
        if (!vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); },
                                      std::chrono::seconds(30))) {
            ::dprintf(figures, "cycle %d: the run did not end (state %s)\n", cycle,
                      vpn.service->state().c_str());
            return 1;
        }
        vpn.mainQueue.drain();
        vpn.service->status().failure;
        vpn.seenStates.clear(); // the bench's own record, not the service's
        soak.sample(cycle);
        if (cycle > warmUp)
            heap.push_back(static_cast<double>(mallinfo2().uordblks));
    }
    soak.summary();
    ::dprintf(figures,
              "heap in use: %+.3f kB/cycle (%.0f kB after the warm-up, %.0f kB at the end)\n",
              SoakFigures::slope(heap) / 1024, heap.front() / 1024, heap.back() / 1024);
    return 0;
}

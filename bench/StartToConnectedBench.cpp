// Time from startOpenVPN to "CONNECTED", side by side with a bare openvpn started by
// hand with the same profile, server and credentials (from a file) reaching its own
// "Initialization Sequence Completed". Needs root: it runs in a private network
// namespace with the test fixtures. Argument: the number of rounds (default 10).
#include "ChildProcess.h"
#include "TestNetwork.h"
#include "VpnStack.h"
#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Silences the management echo and the log while measuring.
struct Quiet {
    int savedOut = ::dup(STDOUT_FILENO);
    int savedErr = ::dup(STDERR_FILENO);
    Quiet() {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~Quiet() {
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
    }
};

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    isolateNetwork();
    VpnStack vpn(std::vector<OpenVPNServer::Account>{{"bench@example.com", "bench password"}});
    vpn.prepare("bench@example.com", "bench password");
    const std::string credentials = vpn.dir
                                        .write("credentials", "bench@example.com\nbench password\n",
                                               std::filesystem::perms(0600))
                                        .string();

    std::vector<double> quovant, inStart, bare;
    for (int round = 0; round < rounds; ++round) {
        {
            Quiet quiet;
            const auto t0 = Clock::now();
            vpn.service->startOpenVPN();
            const auto t1 = Clock::now();
            if (!vpn.waitForState("CONNECTED"))
                return 1;
            const auto t2 = Clock::now();
            quovant.push_back(Ms(t2 - t0).count());
            inStart.push_back(Ms(t1 - t0).count());
            vpn.service->stopOpenVPN();
            if (!vpn.waitForState("NOPROCESS"))
                return 1;
        }
        const std::string log = (vpn.dir / "bare.log").string();
        std::filesystem::remove(log);
        const auto t0 = Clock::now();
        ChildProcess::Options options;
        options.outputFile = log;
        ChildProcess openvpn(
            {"openvpn", "--config", *vpn.service->config, "--auth-user-pass", credentials},
            options);
        while (readFile(log).find("Initialization Sequence Completed") == std::string::npos) {
            if (!openvpn.running() || Clock::now() - t0 > std::chrono::seconds(30))
                return 1;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        bare.push_back(Ms(Clock::now() - t0).count());
        openvpn.stop();
    }
    const double q = median(quovant), b = median(bare), s = median(inStart);
    std::printf("rounds: %d\n", rounds);
    std::printf("startOpenVPN -> CONNECTED      median %.1f ms\n", q);
    std::printf("  of which inside startOpenVPN median %.1f ms (helper run request, connect "
                "attempts, commands)\n",
                s);
    std::printf("bare openvpn -> Initialization median %.1f ms\n", b);
    // The fixed pauses: 0.3 s after each failed connect attempt (openvpn is rarely
    // listening at the first) and at most one 0.1 s read pause.
    const double pauses = 300.0 * static_cast<int>(s / 300.0) + 100.0;
    std::printf("added beyond bare openvpn and the fixed pauses (%.0f ms): %.1f ms\n", pauses,
                q - b - pauses);
    return 0;
}

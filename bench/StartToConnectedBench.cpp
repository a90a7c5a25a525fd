// Time from startOpenVPN to "CONNECTED", side by side in each round with a bare openvpn
// started by hand with the same profile, server and credentials (from a file) reaching
// its own "Initialization Sequence Completed". startOpenVPN only sends the run request;
// the rest (the helper starting openvpn and seeing it listen, the management connect,
// the password, the opening commands, the states) is what is measured. Needs root: it
// runs in a private network namespace with the test fixtures. Argument: the number of
// rounds (default 10).
#include "BenchSupport.h"
#include "ChildProcess.h"
#include "TestNetwork.h"
#include "VpnStack.h"
#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    isolateNetwork();
    VpnStack vpn(std::vector<OpenVPNServer::Account>{{"bench@example.com", "bench password"}});
    vpn.prepare("bench@example.com", "bench password");
    const std::string credentials = vpn.writeCredentials();

    const std::string up = vpn.daemon.upScript();
    const std::string down = vpn.daemon.downScript();
    std::vector<double> quovant, bare, bareScripts, added;
    for (int round = 0; round < rounds; ++round) {
        {
            Quiet quiet;
            const auto t0 = Clock::now();
            vpn.service->startOpenVPN();
            if (!vpn.waitForState("CONNECTED"))
                return 1;
            quovant.push_back(Ms(Clock::now() - t0).count());
            vpn.service->stopOpenVPN();
            if (!vpn.waitForState("NOPROCESS"))
                return 1;
        }
        const auto bareRun = [&](std::vector<std::string> argv) -> std::optional<double> {
            const std::string log = (vpn.dir / "bare.log").string();
            std::filesystem::remove(log);
            const auto t0 = Clock::now();
            ChildProcess::Options options;
            options.outputFile = log;
            ChildProcess openvpn(std::move(argv), options);
            while (readFile(log).find("Initialization Sequence Completed") == std::string::npos) {
                if (!openvpn.running() || Clock::now() - t0 > std::chrono::seconds(30))
                    return std::nullopt;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            const double ms = Ms(Clock::now() - t0).count();
            openvpn.stop();
            return ms;
        };
        const std::vector<std::string> bareArgv = {"openvpn", "--config", *vpn.service->config,
                                                   "--auth-user-pass", credentials};
        auto withScripts = bareArgv;
        withScripts.insert(withScripts.end(),
                           {"--script-security", "2", "--up", up, "--down", down});
        const auto plain = bareRun(bareArgv);
        const auto scripted = bareRun(withScripts);
        if (!plain || !scripted)
            return 1;
        bare.push_back(*plain);
        bareScripts.push_back(*scripted);
        added.push_back(quovant.back() - bare.back());
    }
    const double q = median(quovant), b = median(bare);
    std::printf("rounds: %d\n", rounds);
    std::printf("startOpenVPN -> CONNECTED      median %.1f ms (min %.1f, max %.1f)\n", q,
                *std::min_element(quovant.begin(), quovant.end()),
                *std::max_element(quovant.begin(), quovant.end()));
    std::printf("bare openvpn -> Initialization median %.1f ms (min %.1f, max %.1f)\n", b,
                *std::min_element(bare.begin(), bare.end()),
                *std::max_element(bare.begin(), bare.end()));
    std::printf("bare openvpn with quovant's up and down scripts  median %.1f ms\n",
                median(bareScripts));
    std::printf("added beyond bare openvpn: %.1f ms between the medians, median %.1f ms per "
                "round (target <= 50 ms)\n",
                q - b, median(added));
    return 0;
}

// Tunnel throughput with the helper's leak guard table in place and without it, in one
// run: each round runs the same openvpn (the profile and the server of the tests, the mark
// and the tunnel name the helper gives it) twice, once while this process holds the
// helper's table (made by the helper's own LeakGuard) and once without, and measures
// iperf3 through the tunnel to the server's tunnel address. A connection made through the
// product is measured once for reference. Needs root. Arguments: the number of rounds
// (default 5) and the seconds per measurement (default 3).
#include "BenchSupport.h"
#include "ChildProcess.h"
#include "Poll.h"
#include "TestNetwork.h"
#include "VpnStack.h"
#include "helperd/LeakGuard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <unistd.h>

namespace {

// Megabits per second received by an iperf3 server of its own on a port of its own (a
// server whose tunnel went away mid-test stays busy), or nothing if iperf3 failed.
std::optional<double> throughput(const OpenVPNServer& server, int seconds) {
    static int port = 5201;
    const std::string portText = std::to_string(port++);
    ChildProcess iperfServer({"nsenter", "-t", std::to_string(server.namespacePid()), "-n",
                              "iperf3", "-s", "-1", "-B", OpenVPNServer::tunnelAddress, "-p",
                              portText},
                             ChildProcess::Options{"/dev/null", {}, {}});
    std::string out;
    for (int attempt = 0; attempt < 20; ++attempt) {
        out.clear();
        if (runCommand({"iperf3", "-c", OpenVPNServer::tunnelAddress, "-p", portText, "-t",
                        std::to_string(seconds), "-J"},
                       &out, std::chrono::seconds(seconds + 20)) == 0 &&
            out.find("\"error\"") == std::string::npos)
            break;
        ::usleep(300000);
    }
    const auto report = nlohmann::json::parse(out, nullptr, false);
    const auto rate =
        report.is_discarded()
            ? nlohmann::json()
            : report.value(nlohmann::json::json_pointer("/end/sum_received/bits_per_second"),
                           nlohmann::json());
    if (!rate.is_number()) {
        std::fprintf(stderr, "iperf3 failed: %s\n",
                     report.is_discarded() ? out.c_str() : report.value("error", "").c_str());
        return std::nullopt;
    }
    return rate.get<double>() / 1e6;
}

bool guardTable() {
    return runCommand({"nft", "list", "table", "inet", "quovant_guard"}) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    isolateNetwork();
    VpnStack vpn(std::vector<OpenVPNServer::Account>{{"bench@example.com", "bench password"}}, true,
                 RunTiming{}.start, true);
    vpn.prepare("bench@example.com", "bench password");
    const std::string credentials = vpn.writeCredentials();

    // The same openvpn each time, as the helper would run it, without the helper.
    const auto bareRun = [&]() -> std::optional<double> {
        const std::string log = (vpn.dir / "bare.log").string();
        std::filesystem::remove(log);
        ChildProcess openvpn({"openvpn", "--config", *vpn.service->config, "--auth-user-pass",
                              credentials, "--mark", std::to_string(LeakGuard::transportMark),
                              "--dev-type", "tun", "--dev", "tun0"},
                             ChildProcess::Options{log, {}, {}});
        if (!pollUntil(
                [&] {
                    return readFile(log).find("Initialization Sequence Completed") !=
                           std::string::npos;
                },
                std::chrono::seconds(30)))
            return std::nullopt;
        const auto mbps = throughput(vpn.server, seconds);
        openvpn.stop();
        return mbps;
    };

    double product = 0;
    {
        Quiet quiet;
        vpn.service->startOpenVPN();
        if (!vpn.waitForState("CONNECTED") || !guardTable())
            return 1;
        const auto mbps = throughput(vpn.server, seconds);
        vpn.service->stopOpenVPN();
        if (!mbps || !vpn.waitForState("NOPROCESS") ||
            !pollUntil([] { return !guardTable(); }, std::chrono::seconds(5)))
            return 1;
        product = *mbps;
    }

    // With the helper's table held by this process, for one run of openvpn.
    const auto guardedRun = [&]() -> std::optional<double> {
        LeakGuard guard;
        Result<void> guarded = guard.engage();
        if (guarded)
            guarded = guard.allowTunnel("tun0");
        if (!guarded) {
            std::fprintf(stderr, "no guard table: %s\n", guarded.why().c_str());
            return std::nullopt;
        }
        return bareRun();
    };

    std::vector<double> guarded, bare;
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first keeps a drift in the machine's load out of the difference.
        std::optional<double> with, without;
        if (round % 2 == 0) {
            with = guardedRun();
            without = guardTable() ? std::nullopt : bareRun();
        } else {
            without = bareRun();
            with = guardedRun();
        }
        if (!with || !without)
            return 1;
        guarded.push_back(*with);
        bare.push_back(*without);
        std::printf("round %d: with the table %.0f Mbit/s, without %.0f Mbit/s\n", round + 1,
                    guarded.back(), bare.back());
    }
    const double g = median(guarded), b = median(bare);
    std::printf("rounds: %d of %d s\n", rounds, seconds);
    std::printf("through the product (helper, table, management client): %.0f Mbit/s\n", product);
    std::printf("with the guard table    median %.0f Mbit/s (min %.0f, max %.0f)\n", g,
                *std::min_element(guarded.begin(), guarded.end()),
                *std::max_element(guarded.begin(), guarded.end()));
    std::printf("without (bare openvpn)  median %.0f Mbit/s (min %.0f, max %.0f)\n", b,
                *std::min_element(bare.begin(), bare.end()),
                *std::max_element(bare.begin(), bare.end()));
    std::printf("cost of the table: %.1f %% of the median (target <= 3 %%)\n", 100.0 * (b - g) / b);
    return 0;
}

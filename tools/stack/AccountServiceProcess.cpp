#include "AccountServiceProcess.h"

#include "LoopbackServer.h"

#include <stdexcept>
#include <thread>

AccountServiceProcess::AccountServiceProcess(const std::vector<std::string>& users,
                                             const std::string& profile,
                                             const std::vector<std::string>& switches) {
    const std::string binary = std::string(QUOVANT_TEST_BIN_DIR) + "/account-service";
    if (runCommand({binary, "--generate-cert", dir_.path().string()}) != 0)
        throw std::runtime_error("account-service cannot make a certificate");
    dir_.write("profile.ovpn", profile);
    std::vector<std::string> argv = {binary,
                                     "--listen",
                                     address,
                                     "--cert",
                                     caFile(),
                                     "--key",
                                     (dir_ / "key.pem").string(),
                                     "--profile",
                                     (dir_ / "profile.ovpn").string(),
                                     "--record",
                                     (dir_ / "requests").string()};
    for (const auto& user : users)
        argv.insert(argv.end(), {"--user", user});
    argv.insert(argv.end(), switches.begin(), switches.end());
    ChildProcess::Options options;
    options.outputFile = (dir_ / "service.log").string();
    process_ = std::make_unique<ChildProcess>(argv, options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!LoopbackServer::reachable(8443)) {
        if (!process_->running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("account-service did not start:\n" + log());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

#include "AccountServiceProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool listening() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(8443);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

AccountServiceProcess::AccountServiceProcess(const std::vector<std::string>& users, const std::string& profile,
                                             const std::vector<std::string>& switches) {
    const std::string binary = std::string(QUOVANT_TEST_BIN_DIR) + "/account-service";
    if (runCommand({binary, "--generate-cert", dir_.path().string()}) != 0)
        throw std::runtime_error("account-service cannot make a certificate");
    dir_.write("profile.ovpn", profile);
    std::vector<std::string> argv = {binary,
                                     "--listen", address,
                                     "--cert", caFile(),
                                     "--key", (dir_ / "key.pem").string(),
                                     "--profile", (dir_ / "profile.ovpn").string(),
                                     "--record", (dir_ / "requests").string()};
    for (const auto& user : users)
        argv.insert(argv.end(), {"--user", user});
    argv.insert(argv.end(), switches.begin(), switches.end());
    ChildProcess::Options options;
    options.outputFile = (dir_ / "service.log").string();
    process_ = std::make_unique<ChildProcess>(argv, options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!listening()) {
        if (!process_->running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("account-service did not start:\n" + log());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

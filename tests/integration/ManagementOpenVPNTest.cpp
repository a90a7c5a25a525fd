#include "ChildProcess.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "vpn/OpenVPNManagement.h"

#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

using namespace std::chrono_literals;

// The words the read loop hands over, from its own thread.
struct Words : StateSink {
    std::mutex mutex;
    std::vector<std::string> seen;
    void updateState(const std::string& word) override {
        std::lock_guard lock(mutex);
        seen.push_back(word);
    }
    std::string last() {
        std::lock_guard lock(mutex);
        return seen.empty() ? "" : seen.back();
    }
};

// The management client against a real openvpn client talking to a real server:
// the state words handed over must follow the real state lines.
TEST(ManagementAgainstOpenVPN, ReachesConnectedAndExitsOnSigint) {
    OpenVPNServer server(
        std::vector<OpenVPNServer::Account>{{"alice@example.com", "correct horse"}});
    ASSERT_TRUE(server.waitUntilReady()) << server.log();

    TempDir dir("quovant-client");
    const auto profile = dir.write("client.ovpn", server.clientProfile());
    ChildProcess::Options options;
    options.outputFile = (dir / "client.log").string();
    const std::string socket = (dir / "management.sock").string();
    ChildProcess client({"openvpn", "--config", profile.string(), "--management", socket, "unix",
                         "--management-query-passwords"},
                        options);

    // The connection is made here, as the helper makes it, and handed to the client.
    Words words;
    OpenVPNManagement management(words);
    auto connectOnce = [&] {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socket.copy(address.sun_path, sizeof address.sun_path - 1);
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        return ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               management.socket().adopt(std::move(fd));
    };
    ASSERT_TRUE(pollUntil(connectOnce, 5s)) << readFile(dir / "client.log");
    management.sendCommand("state on\n");
    management.sendCommand("bytecount 1\n");
    management.sendCommand("log on\n");
    management.sendCommand("username 'Auth' alice@example.com\n");
    management.sendCommand("password 'Auth' \"correct horse\"\n");
    management.startReading();

    ASSERT_TRUE(pollUntil([&] { return words.last() == "CONNECTED"; }, 30s))
        << "last state " << words.last() << "\n"
        << readFile(dir / "client.log");

    management.sendCommand("signal SIGINT\n");
    EXPECT_TRUE(pollUntil([&] { return words.last() == "EXITING"; }, 15s)) << words.last();
    EXPECT_TRUE(client.waitFor(15s).has_value());
}

} // namespace

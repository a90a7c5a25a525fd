#include "ChildProcess.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "vpn/OpenVPNManagement.h"

#include <gtest/gtest.h>
#include <mutex>

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
    ChildProcess client({"openvpn", "--config", profile.string(), "--management", "127.0.0.1",
                         "1337", "--management-query-passwords"},
                        options);

    Words words;
    OpenVPNManagement management(words);
    ASSERT_TRUE(pollUntil([&] { return management.socket().connect(3).ok(); }, 5s))
        << readFile(dir / "client.log");
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

#include "ChildProcess.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "platform/ManualMainQueue.h"
#include "vpn/OpenVPNService.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The management client against a real openvpn client talking to a real server:
// the service's state must follow the real state lines.
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

    ManualMainQueue queue;
    NotificationCenter center;
    std::vector<std::string> seen;
    OpenVPNService service({.mainQueue = &queue, .notifications = &center});
    center.addObserver(OpenVPNService::stateDidChangeNotification,
                       [&] { seen.push_back(service.state()); });

    auto& management = service.management();
    ASSERT_TRUE(pollUntil([&] { return management.socket().connect(3).ok(); }, 5s))
        << readFile(dir / "client.log");
    management.sendCommand("state on\n");
    management.sendCommand("bytecount 1\n");
    management.sendCommand("log on\n");
    management.sendCommand("username 'Auth' alice@example.com\n");
    management.sendCommand("password 'Auth' \"correct horse\"\n");
    management.startReading();

    ASSERT_TRUE(queue.drainUntil([&] { return service.state() == "CONNECTED"; }, 30s))
        << "last state " << service.state() << "\n"
        << readFile(dir / "client.log");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "CONNECTED"), seen.end());

    management.sendCommand("signal SIGINT\n");
    EXPECT_TRUE(queue.drainUntil([&] { return service.state() == "EXITING"; }, 15s))
        << service.state();
    EXPECT_TRUE(client.waitFor(15s).has_value());
}

} // namespace

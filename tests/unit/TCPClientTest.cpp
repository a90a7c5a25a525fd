#include "vpn/TCPClient.h"

#include "LoopbackServer.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(TCPClient, ConnectSendAndReadRoundTrip) {
    LoopbackServer server;
    TCPClient client("127.0.0.1", server.port());
    ASSERT_TRUE(client.connect(3).ok());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(client.send("state on\n").ok());
    EXPECT_EQ(server.receiveUntil("\n", 2s), "state on\n");
    ASSERT_TRUE(server.send(">INFO:hello\r\n"));
    const ReadResult r = client.read(2048, 2);
    EXPECT_EQ(r.status, ReadResult::Status::data);
    EXPECT_EQ(r.bytes, ">INFO:hello\r\n");
}

TEST(TCPClient, FailuresAreReportedWithTheirKind) {
    TCPClient bad("not an address", 1337);
    EXPECT_EQ(bad.connect(1).why().kind, SocketError::Kind::invalidAddress);

    uint16_t closedPort;
    {
        LoopbackServer gone;
        closedPort = gone.port();
    }
    TCPClient refused("127.0.0.1", closedPort);
    EXPECT_EQ(refused.connect(1).why().kind, SocketError::Kind::connectionRefused);
    EXPECT_EQ(refused.send("x\n").why().kind, SocketError::Kind::notConnected);
    EXPECT_EQ(refused.read(16, 0.1).status, ReadResult::Status::closed);
}

TEST(TCPClient, ReadTimesOutAndReportsThePeerClosing) {
    LoopbackServer server;
    TCPClient client("127.0.0.1", server.port());
    ASSERT_TRUE(client.connect(3).ok());
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(client.read(16, 0.05).status, ReadResult::Status::timedOut);
    server.closeConnection();
    EXPECT_EQ(client.read(16, 2).status, ReadResult::Status::closed);
}

TEST(TCPClient, NewConnectEndsAReadBlockedOnTheOldConnection) {
    LoopbackServer server;
    TCPClient client("127.0.0.1", server.port());
    ASSERT_TRUE(client.connect(3).ok());
    ASSERT_TRUE(server.accept());
    auto oldConnection = client.connection();
    auto blocked = std::async(std::launch::async, [&] { return oldConnection->read(2048, -1); });
    EXPECT_EQ(blocked.wait_for(100ms), std::future_status::timeout);
    ASSERT_TRUE(client.connect(3).ok());
    ASSERT_EQ(blocked.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(blocked.get().status, ReadResult::Status::closed);
    EXPECT_NE(client.connection(), oldConnection);
}

TEST(TCPClient, SendAndReadRunOnDifferentThreadsAtOnce) {
    LoopbackServer server;
    TCPClient client("127.0.0.1", server.port());
    ASSERT_TRUE(client.connect(3).ok());
    ASSERT_TRUE(server.accept());
    constexpr int lines = 200;
    std::thread reader([&] {
        std::string got;
        while (got.size() < lines * 4) {
            auto r = client.read(2048, 5);
            if (r.status != ReadResult::Status::data)
                break;
            got += r.bytes;
        }
        EXPECT_EQ(got.size(), size_t(lines * 4));
    });
    std::thread sender([&] {
        for (int i = 0; i < lines; ++i)
            EXPECT_TRUE(client.send("abc\n").ok());
        EXPECT_TRUE(client.send("end\n").ok());
    });
    for (int i = 0; i < lines; ++i)
        server.send("xyz\n");
    const std::string received = server.receiveUntil("end\n", 5s);
    EXPECT_EQ(received.size(), size_t(lines * 4 + 4));
    sender.join();
    reader.join();
    client.close();
}

TEST(TCPClient, ConnectGivesUpAfterItsTimeout) {
    // A listener that never accepts and has a full queue drops further handshakes,
    // so the next connect can only end by its time-out.
    LoopbackServer server(0, 0);
    std::vector<std::unique_ptr<TCPClient>> fillers;
    SocketResult last = SocketResult::success();
    for (int i = 0; i < 8 && last.ok(); ++i) {
        fillers.push_back(std::make_unique<TCPClient>("127.0.0.1", server.port()));
        const auto start = std::chrono::steady_clock::now();
        last = fillers.back()->connect(0.3);
        if (!last.ok()) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
        }
    }
    EXPECT_EQ(last.why().kind, SocketError::Kind::connectionTimeout);
}

} // namespace

#include "vpn/ManagementSocket.h"

#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The management socket holding one end of a fresh pair; the test holds the other.
struct Pair {
    ManagementSocket socket;
    UniqueFd far;

    Pair() { adoptNew(); }
    void adoptNew() {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        far.reset(ends[1]);
        ASSERT_TRUE(socket.adopt(UniqueFd(ends[0])));
    }
    void farSend(const std::string& bytes) {
        ASSERT_EQ(::send(far.get(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    }
    std::string farReceive(size_t count) {
        std::string got;
        char chunk[4096];
        while (got.size() < count) {
            const ssize_t n = ::recv(far.get(), chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            got.append(chunk, size_t(n));
        }
        return got;
    }
};

TEST(ManagementSocket, SendsReadsTimesOutAndSeesThePeerClose) {
    Pair p;
    ASSERT_TRUE(p.socket.send("state on\n").ok());
    EXPECT_EQ(p.farReceive(9), "state on\n");
    p.farSend(">INFO:hello\r\n");
    const ReadResult r = p.socket.read(2048, 2);
    EXPECT_EQ(r.status, ReadResult::Status::data);
    EXPECT_EQ(r.bytes, ">INFO:hello\r\n");
    EXPECT_EQ(p.socket.read(16, 0.05).status, ReadResult::Status::timedOut);
    p.far.reset();
    EXPECT_EQ(p.socket.read(16, 2).status, ReadResult::Status::closed);

    ManagementSocket none;
    EXPECT_FALSE(none.adopt(UniqueFd()));
    EXPECT_EQ(none.send("x\n").why().kind, SocketError::Kind::notConnected);
    EXPECT_EQ(none.read(16, 0.1).status, ReadResult::Status::closed);
}

TEST(ManagementSocket, ANewConnectionEndsAReadBlockedOnTheOldOne) {
    Pair p;
    auto oldConnection = p.socket.connection();
    auto blocked = std::async(std::launch::async, [&] { return oldConnection->read(2048, -1); });
    EXPECT_EQ(blocked.wait_for(100ms), std::future_status::timeout);
    p.adoptNew();
    ASSERT_EQ(blocked.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(blocked.get().status, ReadResult::Status::closed);
    EXPECT_NE(p.socket.connection(), oldConnection);
}

TEST(ManagementSocket, SendAndReadRunOnDifferentThreadsAtOnce) {
    Pair p;
    constexpr int lines = 200;
    std::thread reader([&] {
        std::string got;
        while (got.size() < lines * 4) {
            auto r = p.socket.read(2048, 5);
            if (r.status != ReadResult::Status::data)
                break;
            got += r.bytes;
        }
        EXPECT_EQ(got.size(), size_t(lines * 4));
    });
    std::thread sender([&] {
        for (int i = 0; i < lines; ++i)
            EXPECT_TRUE(p.socket.send("abc\n").ok());
        EXPECT_TRUE(p.socket.send("end\n").ok());
    });
    for (int i = 0; i < lines; ++i)
        p.farSend("xyz\n");
    EXPECT_EQ(p.farReceive(lines * 4 + 4).size(), size_t(lines * 4 + 4));
    sender.join();
    reader.join();
    p.socket.close();
}

} // namespace

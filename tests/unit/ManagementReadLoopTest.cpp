#include "LoopbackServer.h"
#include "platform/Log.h"
#include "vpn/OpenVPNManagement.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct RecordingSink : StateSink {
    std::mutex mutex;
    std::vector<std::string> words;
    void updateState(const std::string& word) override {
        std::lock_guard lock(mutex);
        words.push_back(word);
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return words;
    }
    bool waitFor(size_t count, std::chrono::milliseconds timeout = 3s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (snapshot().size() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return snapshot().size() >= count;
    }
};

struct Connected {
    LoopbackServer server;
    RecordingSink sink;
    OpenVPNManagement management{sink, server.port()};

    void connect() {
        ASSERT_TRUE(management.socket().connect(3).isSuccess());
        ASSERT_TRUE(server.accept());
        management.startReading();
    }
};

TEST(ManagementReadLoop, StateLinesReachTheSinkInOrder) {
    Connected c;
    c.connect();
    c.server.send(">STATE:1,CONNECTING,,\r\n>STATE:2,WAIT,,\r\n>STATE:3,AUTH,,\r\n");
    ASSERT_TRUE(c.sink.waitFor(3));
    EXPECT_EQ(c.sink.snapshot(), (std::vector<std::string>{"CONNECTING", "WAIT", "AUTH"}));
}

TEST(ManagementReadLoop, CharacterSplitAcrossReadsKeepsTheStateLine) {
    Connected c;
    c.connect();
    // The loop pauses 100 ms after each read, so these arrive as separate reads.
    c.server.send(">STATE:1,CONNECTED,caf\xC3");
    std::this_thread::sleep_for(150ms);
    c.server.send("\xA9,10.8.0.2\r\nbad \xFF byte\r\n>STATE:2,EXITING,,\r\n");
    ASSERT_TRUE(c.sink.waitFor(2));
    EXPECT_EQ(c.sink.snapshot(), (std::vector<std::string>{"CONNECTED", "EXITING"}));
}

TEST(ManagementReadLoop, LoopEndsWhenTheConnectionCloses) {
    Connected c;
    c.connect();
    c.server.send(">STATE:1,WAIT,,\r\n");
    ASSERT_TRUE(c.sink.waitFor(1));
    c.server.closeConnection();
    std::this_thread::sleep_for(300ms);
    const uint64_t readsAfterClose = c.management.readCount();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(c.management.readCount(), readsAfterClose) << "a closed socket is not polled";
}

TEST(ManagementReadLoop, ReconnectLeavesExactlyOneLoop) {
    Connected c;
    c.connect();
    // Start twice on one connection, then reconnect and start again: each line
    // must still be handled once.
    c.management.startReading();
    ASSERT_TRUE(c.management.socket().connect(3).isSuccess());
    ASSERT_TRUE(c.server.accept());
    c.management.startReading();
    c.management.startReading();
    for (int i = 0; i < 5; ++i) {
        c.server.send(">STATE:" + std::to_string(i) + ",W" + std::to_string(i) + ",,\r\n");
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(c.sink.waitFor(5));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(c.sink.snapshot(), (std::vector<std::string>{"W0", "W1", "W2", "W3", "W4"}));
}

TEST(ManagementReadLoop, CommandsGoOutUnchangedWhileTheEchoMasksThePassword) {
    Connected c;
    c.connect();
    Log::Capture capture;
    c.management.sendCommand("username 'Auth' \"me@example.com\"\n");
    c.management.sendCommand("password 'Auth' \"p a s s\"\n");
    EXPECT_EQ(c.server.receiveUntil("s\"\n", 2s),
              "username 'Auth' \"me@example.com\"\npassword 'Auth' \"p a s s\"\n");
    EXPECT_EQ(capture.outputLines(),
              (std::vector<std::string>{"username 'Auth' \"me@example.com\"\n",
                                        "password 'Auth' [...]\n"}));
}

TEST(ManagementReadLoop, OverlongTextWithoutLineFeedIsDropped) {
    Connected c;
    c.connect();
    Log::Capture capture;
    const std::string junk(70 * 1024, 'j');
    for (size_t i = 0; i < junk.size(); i += 8192) {
        c.server.send(junk.substr(i, 8192));
    }
    c.server.send("\r\n>STATE:1,WAIT,,\r\n");
    ASSERT_TRUE(c.sink.waitFor(1, 10s));
    EXPECT_EQ(c.sink.snapshot().back(), "WAIT");
}

TEST(ManagementReadLoop, QuietLinesAreReadAtOnceAndCloseOnesTogether) {
    Connected c;
    c.connect();
    std::this_thread::sleep_for(200ms);
    // Lines far apart: each is read as it comes, one read each.
    uint64_t reads = c.management.readCount();
    for (int i = 0; i < 3; ++i) {
        c.server.send(">STATE:" + std::to_string(i) + ",WAIT,,\r\n");
        ASSERT_TRUE(c.sink.waitFor(static_cast<size_t>(i + 1), 1s))
            << "a lone line waits for no pause";
        std::this_thread::sleep_for(150ms);
    }
    EXPECT_EQ(c.management.readCount() - reads, 3u);
    // Lines close together, right after a read: they wait out the pause and come in one read.
    reads = c.management.readCount();
    c.server.send(">STATE:10,AUTH,,\r\n");
    std::this_thread::sleep_for(10ms);
    for (int i = 0; i < 5; ++i) {
        c.server.send(">STATE:" + std::to_string(11 + i) + ",GET_CONFIG,,\r\n");
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(c.sink.waitFor(9, 2s));
    EXPECT_LE(c.management.readCount() - reads, 2u) << "at most ten reads a second";
}

} // namespace

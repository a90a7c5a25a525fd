#include "LoopbackServer.h"
#include "platform/Log.h"
#include "vpn/OpenVPNManagement.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// Bounds every wait of these tests; none of them passes by waiting this long.
constexpr auto patience = 10s;

struct RecordingSink : StateSink {
    std::mutex mutex;
    std::condition_variable added;
    std::vector<std::string> words;
    void updateState(const std::string& word) override {
        std::lock_guard lock(mutex);
        words.push_back(word);
        added.notify_all();
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return words;
    }
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex);
        return added.wait_for(lock, patience, [&] { return words.size() >= count; });
    }
};

// A clock the test drives: its time moves only when the test advances it or a pause
// passes. Every pause the read loop asks for is recorded and held until the test
// lets it pass, so the test can send bytes while the loop is paused.
class DrivenClock : public PacingClock {
public:
    TimePoint now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void sleepFor(Duration duration) override {
        std::unique_lock lock(mutex_);
        pauses_.push_back(duration);
        changed_.notify_all();
        const size_t number = pauses_.size();
        changed_.wait(lock, [&] { return released_ >= number || open_; });
        now_ += duration;
    }

    void advance(Duration duration) {
        std::lock_guard lock(mutex_);
        now_ += duration;
    }
    // Waits until the loop is held in its `number`-th pause.
    bool waitForPause(size_t number) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return pauses_.size() >= number; });
    }
    void releasePause() {
        std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    // Lets every pause pass from now on.
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    std::vector<Duration> pauses() {
        std::lock_guard lock(mutex_);
        return pauses_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TimePoint now_{};
    std::vector<Duration> pauses_;
    size_t released_ = 0;
    bool open_ = false;
};

struct Connected {
    LoopbackServer server;
    RecordingSink sink;
    DrivenClock clock;
    OpenVPNManagement management{sink, clock};

    // A loop still held in a pause could not end.
    ~Connected() { clock.open(); }

    void connect() {
        ASSERT_TRUE(management.socket().adopt(server.dial()));
        ASSERT_TRUE(server.accept());
        management.startReading();
    }
    // Sends a line and waits until the sink has seen `words` words in all.
    void sendState(const std::string& word, size_t words) {
        ASSERT_TRUE(server.send(">STATE:1700000000," + word + ",,\r\n"));
        ASSERT_TRUE(sink.waitFor(words)) << word;
    }
};

constexpr PacingClock::Duration fullPause = OpenVPNManagement::readPause;

TEST(ManagementReadLoop, CharacterSplitAcrossReadsKeepsTheStateLine) {
    Connected c;
    c.connect();
    // The WAIT line shows that the first part has been read on its own.
    ASSERT_TRUE(c.server.send(">STATE:1,WAIT,,\r\n>STATE:2,CONNECTED,caf\xC3"));
    ASSERT_TRUE(c.sink.waitFor(1));
    ASSERT_TRUE(c.server.send("\xA9,10.8.0.2\r\nbad \xFF byte\r\n>STATE:3,EXITING,,\r\n"));
    ASSERT_TRUE(c.sink.waitFor(3));
    EXPECT_EQ(c.sink.snapshot(), (std::vector<std::string>{"WAIT", "CONNECTED", "EXITING"}));
}

TEST(ManagementReadLoop, LoopEndsWhenTheConnectionCloses) {
    Connected c;
    c.connect();
    c.sendState("WAIT", 1);
    c.server.closeConnection();
    EXPECT_TRUE(c.management.waitUntilReadingEnds(patience)) << "a closed socket is not polled";
}

TEST(ManagementReadLoop, ReconnectLeavesExactlyOneLoopAndStartsUnpaced) {
    Connected c;
    c.connect();
    c.sendState("CONNECTED", 1);
    // Start twice on one connection, then reconnect and start again: each line
    // must still be handled once.
    c.management.startReading();
    ASSERT_TRUE(c.management.socket().adopt(c.server.dial()));
    ASSERT_TRUE(c.server.accept());
    c.management.startReading();
    c.management.startReading();
    for (size_t i = 0; i < 5; ++i)
        c.sendState("W" + std::to_string(i), i + 2);
    c.server.closeConnection();
    ASSERT_TRUE(c.management.waitUntilReadingEnds(patience));
    EXPECT_EQ(c.sink.snapshot(),
              (std::vector<std::string>{"CONNECTED", "W0", "W1", "W2", "W3", "W4"}));
    EXPECT_TRUE(c.clock.pauses().empty()) << "the new connection has not been up yet";
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
    ASSERT_TRUE(c.server.send("\r\n"));
    c.sendState("WAIT", 1);
    EXPECT_EQ(c.sink.snapshot(), std::vector<std::string>{"WAIT"});
}

// The clock stands still unless a test moves it: without pacing, every line below
// would follow its predecessor too soon.
TEST(ManagementReadLoop, LinesOnTheWayToConnectedAreReadAsTheyCome) {
    Connected c;
    c.connect();
    const uint64_t reads = c.management.readCount();
    const std::vector<std::string> words = {"WAIT",      "AUTH",       "GET_CONFIG",
                                            "ASSIGN_IP", "ADD_ROUTES", "CONNECTED"};
    for (size_t i = 0; i < words.size(); ++i)
        c.sendState(words[i], i + 1);
    EXPECT_EQ(c.management.readCount() - reads, words.size());
    EXPECT_TRUE(c.clock.pauses().empty());
    // The first line after CONNECTED is paced.
    ASSERT_TRUE(c.server.send(">STATE:1700000001,RECONNECTING,,\r\n"));
    ASSERT_TRUE(c.clock.waitForPause(1));
    EXPECT_EQ(c.clock.pauses(), std::vector<PacingClock::Duration>{fullPause});
    c.clock.releasePause();
    ASSERT_TRUE(c.sink.waitFor(words.size() + 1));
}

TEST(ManagementReadLoop, OnceConnectedCloseLinesAreReadTogetherAndQuietOnesAtOnce) {
    Connected c;
    c.connect();
    c.sendState("CONNECTED", 1);
    uint64_t reads = c.management.readCount();

    // A line right after a read waits out the pause; what comes meanwhile joins it.
    ASSERT_TRUE(c.server.send(">STATE:1,A,,\r\n"));
    ASSERT_TRUE(c.clock.waitForPause(1));
    ASSERT_TRUE(c.server.send(">STATE:2,B,,\r\n>STATE:3,C,,\r\n"));
    c.clock.releasePause();
    ASSERT_TRUE(c.sink.waitFor(4));
    EXPECT_EQ(c.management.readCount() - reads, 1u) << "at most ten reads a second";

    // After a quiet pause, a line is read at once.
    reads = c.management.readCount();
    c.clock.advance(fullPause);
    c.sendState("D", 5);
    EXPECT_EQ(c.management.readCount() - reads, 1u);
    EXPECT_EQ(c.clock.pauses().size(), 1u) << "a lone line waits for no pause";

    // Only what is left of the pause is waited for.
    c.clock.advance(30ms);
    ASSERT_TRUE(c.server.send(">STATE:6,E,,\r\n"));
    ASSERT_TRUE(c.clock.waitForPause(2));
    EXPECT_EQ(c.clock.pauses().back(), fullPause - 30ms);
    c.clock.releasePause();
    ASSERT_TRUE(c.sink.waitFor(6));
}

TEST(ManagementReadLoop, AFullReadIsFollowedAtOnce) {
    Connected c;
    c.connect();
    c.sendState("CONNECTED", 1);
    const uint64_t reads = c.management.readCount();

    ASSERT_TRUE(c.server.send(">STATE:1,A,,\r\n"));
    ASSERT_TRUE(c.clock.waitForPause(1));
    // Two and a half reads' worth of a burst, its last line a state line.
    std::string burst;
    while (burst.size() < 2 * OpenVPNManagement::readSize + OpenVPNManagement::readSize / 2)
        burst += ">BYTECOUNT:1024,2048\r\n";
    burst += ">STATE:2,B,,\r\n";
    const size_t total = std::string(">STATE:1,A,,\r\n").size() + burst.size();
    ASSERT_NE(total % OpenVPNManagement::readSize, 0u);
    ASSERT_TRUE(c.server.send(burst));
    c.clock.releasePause();
    ASSERT_TRUE(c.sink.waitFor(3));
    EXPECT_EQ(c.management.readCount() - reads,
              (total + OpenVPNManagement::readSize - 1) / OpenVPNManagement::readSize);
    EXPECT_EQ(c.clock.pauses().size(), 1u) << "the burst is read without a further pause";
}

} // namespace

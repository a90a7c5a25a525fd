#include "vpn/ConnectionStats.h"

#include "LoopbackServer.h"
#include "platform/ManualMainQueue.h"
#include "vpn/ByteUnits.h"
#include "vpn/OpenVPNService.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = ConnectionStats::Clock;

TEST(ByteUnits, KnownCounts) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1 KB"},
        {1536, "1 KB"},
        {10239, "9 KB"},
        {10240, "10 KB"},
        {348160, "340 KB"},
        {1048575, "1023 KB"},
        {1048576, "1,0 MB"},
        {1258292, "1,2 MB"},
        {15 * 1048576ull, "15 MB"},
        {1073741824ull, "1,0 GB"},
        {1288490189ull, "1,2 GB"},
        {5000ull * 1073741824ull, "5000 GB"},
        {UINT64_MAX, "17179869183 GB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(ByteUnits::format(bytes), text) << bytes;
}

TEST(ConnectionStats, ClockServerAndTotalsFollowTheStateWords) {
    ConnectionStats stats;
    const Clock::time_point t0{};
    stats.stateAddress("");
    stats.stateStored("WAIT", t0);
    EXPECT_FALSE(stats.byteCount(10, 20, t0)) << "nothing is shown before the tunnel is up";
    EXPECT_FALSE(stats.snapshot().connected);

    stats.stateAddress("192.0.2.7");
    stats.stateStored("CONNECTED", t0 + 5s);
    auto s = stats.snapshot();
    EXPECT_TRUE(s.connected);
    EXPECT_EQ(s.server, "192.0.2.7");
    EXPECT_EQ(s.since, t0 + 5s);

    // A repeated CONNECTED (and a word outside the table) keeps the clock and the server.
    stats.stateAddress("198.51.100.1");
    stats.stateStored("CONNECTED", t0 + 30s);
    stats.stateStored("SOMETHING_NEW", t0 + 31s);
    s = stats.snapshot();
    EXPECT_EQ(s.server, "192.0.2.7");
    EXPECT_EQ(s.since, t0 + 5s);
    EXPECT_EQ(ConnectionStats::minutesConnected(s, t0 + 5s + 119s), 1);

    // Leaving the connected phase ends it; the next CONNECTED starts afresh.
    stats.byteCount(5000, 6000, t0 + 40s);
    stats.stateStored("RECONNECTING", t0 + 50s);
    EXPECT_FALSE(stats.snapshot().connected);
    EXPECT_EQ(stats.snapshot().bytesIn, 0u);
    stats.stateAddress(std::string(ConnectionStats::maxServerLength + 1, 'a'));
    stats.stateStored("CONNECTED", t0 + 60s);
    EXPECT_EQ(stats.snapshot().server, "") << "an overlong address is not shown";
    EXPECT_EQ(stats.snapshot().since, t0 + 60s);
}

TEST(ConnectionStats, ACountIsWorthShowingOnlyWhenItsUnitsOrTheMinuteChange) {
    ConnectionStats stats;
    const Clock::time_point t0{};
    stats.stateStored("CONNECTED", t0);
    EXPECT_TRUE(stats.byteCount(0, 0, t0 + 1s)) << "the first count after connecting";
    EXPECT_TRUE(stats.byteCount(100, 0, t0 + 2s)) << "0 B -> 100 B";
    EXPECT_FALSE(stats.byteCount(100, 0, t0 + 3s)) << "nothing changed";
    EXPECT_TRUE(stats.byteCount(2048, 0, t0 + 4s));
    EXPECT_FALSE(stats.byteCount(3000, 0, t0 + 5s)) << "still 2 KB";
    EXPECT_FALSE(stats.byteCount(3000, 0, t0 + 59s));
    EXPECT_TRUE(stats.byteCount(3000, 0, t0 + 60s)) << "one minute connected";
    EXPECT_FALSE(stats.byteCount(3000, 0, t0 + 61s));
    EXPECT_TRUE(stats.byteCount(3000, 1024, t0 + 62s));
}

} // namespace

#include "helperd/LogSummary.h"

#include <gtest/gtest.h>

namespace {

TEST(LogSummary, AlikeLinesBeyondAFewAreSummedUpOnceTheirWindowIsOver) {
    std::vector<std::string> written;
    LogSummary summary([&](std::string_view line) { written.emplace_back(line); });
    const auto start = LogSummary::Clock::time_point{};
    for (size_t i = 0; i < 4231; ++i)
        summary.line("request getVersion from uid 1001, pid " + std::to_string(100 + i),
                     start + std::chrono::milliseconds(i));
    summary.line("openvpn started, pid 7", start + std::chrono::seconds(5));
    summary.line("request getVersion from uid 1002, pid 8", start + std::chrono::seconds(6));
    EXPECT_EQ(written.size(), LogSummary::linesPerWindow + 2)
        << "other kinds, and other users' lines, are not held";
    EXPECT_EQ(summary.nextFlush(), start + LogSummary::window);
    summary.flush(start + std::chrono::seconds(9));
    EXPECT_EQ(written.size(), LogSummary::linesPerWindow + 2);
    summary.flush(start + LogSummary::window);
    EXPECT_EQ(written.back(),
              "… 4,211 more like this in 10 s: request getVersion from uid 1001, pid 4330");
    EXPECT_FALSE(summary.nextFlush());
    summary.line("request getVersion from uid 1001, pid 1", start + std::chrono::seconds(11));
    EXPECT_EQ(written.back(), "request getVersion from uid 1001, pid 1") << "a new window";
}

TEST(LogSummary, KindsDifferInTheirWordsNotTheirNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        // Lines of two users are of two kinds: a summary names the user it sums.
        {"closing connection of uid 1000, pid 12", "closing connection of uid 1000, pid #"},
        {"refused runOpenVPN from uid 1942, pid 7: uid 3",
         "refused runOpenVPN from uid 1942, pid #: uid 3"},
        {"openvpn: MANAGEMENT: Client connected from [AF_INET]127.0.0.1:41234",
         "openvpn: MANAGEMENT: Client connected from [AF_INET]#.#.#.#:#"},
        {"", ""},
    };
    for (const auto& [line, kind] : cases)
        EXPECT_EQ(LogSummary::kindOf(line), kind);
    const std::pair<size_t, const char*> numbers[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {4211, "4,211"}, {1234567, "1,234,567"}};
    for (const auto& [n, text] : numbers)
        EXPECT_EQ(LogSummary::grouped(n), text);
}

} // namespace

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Keeps a flood of alike lines out of the log: lines that differ only in their numbers
// (pids, ids, ports) are alike, but not lines of different uids ("uid 1000"), so that a
// summary names the user whose lines it sums. Of each kind, the first few of a window are
// written; the rest are counted and, once the window is over, summed up in one line
// ("… 4,211 more like this in 10 s: " and the last of them).
class LogSummary {
public:
    using Clock = std::chrono::steady_clock;
    using Sink = std::function<void(std::string_view)>;
    static constexpr auto window = std::chrono::seconds(10);
    static constexpr size_t linesPerWindow = 20;

    explicit LogSummary(Sink sink) : sink_(std::move(sink)) {}

    void line(std::string_view text, Clock::time_point now);
    // Writes the summaries of the windows over by `now`.
    void flush(Clock::time_point now);
    // When the next window ends that has lines to sum up.
    std::optional<Clock::time_point> nextFlush() const;

    static std::string kindOf(std::string_view text);
    // 4211 -> "4,211"
    static std::string grouped(size_t number);

private:
    struct Kind {
        Clock::time_point since;
        size_t written = 0;
        size_t held = 0;
        std::string last;
    };

    Sink sink_;
    std::map<std::string, Kind, std::less<>> kinds_;
};

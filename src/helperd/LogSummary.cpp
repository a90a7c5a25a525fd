#include "helperd/LogSummary.h"

#include <algorithm>

std::string LogSummary::kindOf(std::string_view text) {
    std::string kind;
    bool inUid = false; // within the number after "uid ", which is kept
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        inUid = digit && (inUid || kind.ends_with("uid "));
        if (!digit || inUid)
            kind += c;
        else if (kind.empty() || kind.back() != '#')
            kind += '#';
    }
    return kind;
}

std::string LogSummary::grouped(size_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

void LogSummary::line(std::string_view text, Clock::time_point now) {
    flush(now);
    auto [it, added] = kinds_.try_emplace(kindOf(text), Kind{now, 0, 0, {}});
    Kind& kind = it->second;
    if (kind.written < linesPerWindow) {
        ++kind.written;
        sink_(text);
        return;
    }
    ++kind.held;
    kind.last = text;
}

void LogSummary::flush(Clock::time_point now) {
    for (auto it = kinds_.begin(); it != kinds_.end();) {
        const Kind& kind = it->second;
        if (now - kind.since < window) {
            ++it;
            continue;
        }
        if (kind.held > 0)
            sink_("… " + grouped(kind.held) + " more like this in " +
                  std::to_string(std::chrono::duration_cast<std::chrono::seconds>(window).count()) +
                  " s: " + kind.last);
        it = kinds_.erase(it);
    }
}

std::optional<LogSummary::Clock::time_point> LogSummary::nextFlush() const {
    std::optional<Clock::time_point> next;
    for (const auto& entry : kinds_)
        if (entry.second.held > 0 && (!next || entry.second.since + window < *next))
            next = entry.second.since + window;
    return next;
}

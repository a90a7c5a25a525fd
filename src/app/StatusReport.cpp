#include "app/StatusReport.h"

#include "ui/StatusLine.h"
#include "ui/UiText.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace {

const char* lookName(StatusLine::Look look) {
    switch (look) {
    case StatusLine::Look::disconnected:
        return "disconnected";
    case StatusLine::Look::connecting:
        return "connecting";
    case StatusLine::Look::connected:
        return "connected";
    case StatusLine::Look::stopping:
        return "stopping";
    case StatusLine::Look::blocked:
    case StatusLine::Look::stillReconnecting:
        return "blocked";
    }
    return "disconnected";
}

std::string oneLine(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
        text.replace(at, 1, " \u00b7 ");
    return text;
}

// The window's status text and, while the connection is not up, why the last one failed.
std::string windowText(const ConnectionStatus& status, StatusReport::Clocks now) {
    std::string text = StatusLine::text(StatusLine::of(status), status.stats, now.steady,
                                        UiText::message(status.progress));
    if (!status.failure.empty() && status.phase != RunPhase::connected)
        text += "\n" + UiText::message(status.failure);
    return text;
}

// When the tunnel came up, on the wall clock, to the second in UTC.
std::string since(const ConnectionStatus& status, StatusReport::Clocks now) {
    const auto ago = now.steady - status.stats.since;
    const std::time_t at = std::chrono::system_clock::to_time_t(
        now.wall - std::chrono::duration_cast<std::chrono::system_clock::duration>(ago));
    std::tm utc{};
    ::gmtime_r(&at, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

std::string StatusReport::text(const ConnectionStatus& status, Clocks now) {
    return oneLine(windowText(status, now));
}

std::string StatusReport::json(const ConnectionStatus& status, Clocks now) {
    const ConnectionStats::Snapshot& stats = status.stats;
    const std::string shown = windowText(status, now);
    nlohmann::ordered_json object = {
        {"running", true},
        {"state", status.state},
        {"phase", phaseName(status.phase)},
        {"connected", status.phase == RunPhase::connected},
        {"blocked", status.blocked()},
        {"server",
         stats.server.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(stats.server)},
        {"since",
         stats.connected ? nlohmann::ordered_json(since(status, now)) : nlohmann::ordered_json()},
        {"bytes_in", stats.bytesIn},
        {"bytes_out", stats.bytesOut},
        {"last_failure", status.failure.empty() ? nlohmann::ordered_json()
                                                : nlohmann::ordered_json(status.failure.plain())},
        {"text", shown.substr(0, shown.find('\n'))},
        {"tooltip", shown},
        {"class", lookName(StatusLine::of(status))},
    };
    // Invalid UTF-8 (a server name is openvpn's text) is replaced, not thrown over.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string StatusReport::notRunning(bool json, const std::string& text) {
    if (!json)
        return text;
    return nlohmann::ordered_json{
        {"running", false}, {"text", text}, {"tooltip", text}, {"class", "not-running"}}
        .dump();
}

#include "ui/StatusLine.h"

#include "ui/UiText.h"
#include "vpn/ByteUnits.h"

std::string StatusLine::duration(int64_t minutes) {
    if (minutes < 60)
        return std::to_string(minutes) + UiText::minutes;
    const int64_t rest = minutes % 60;
    return std::to_string(minutes / 60) + UiText::hours + (rest < 10 ? "0" : "") +
           std::to_string(rest) + UiText::minutes;
}

StatusLine::Look StatusLine::of(RunPhase phase) {
    switch (phase) {
    case RunPhase::idle:
        return Look::disconnected;
    case RunPhase::connected:
        return Look::connected;
    case RunPhase::stopping:
        return Look::stopping;
    case RunPhase::blocked:
        return Look::blocked;
    default:
        return Look::connecting;
    }
}

std::string StatusLine::text(Look look, const ConnectionStats::Snapshot& stats,
                             ConnectionStats::Clock::time_point now) {
    switch (look) {
    case Look::disconnected:
        return UiText::notConnected;
    case Look::connecting:
        return UiText::connecting;
    case Look::stopping:
        return UiText::disconnecting;
    case Look::blocked:
        return UiText::blocked;
    case Look::connected:
        break;
    }
    std::string first =
        stats.server.empty() ? std::string(UiText::connected) : UiText::connectedTo + stats.server;
    return first + " \u00b7 " + duration(ConnectionStats::minutesConnected(stats, now)) + "\n" +
           UiText::received + ByteUnits::format(stats.bytesIn) + " \u00b7 " + UiText::sent +
           ByteUnits::format(stats.bytesOut);
}

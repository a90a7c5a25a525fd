#include "ui/StatusLine.h"

#include "ui/UiText.h"
#include "vpn/ByteUnits.h"

#include <QLocale>

namespace {

// The reader's decimal separator (a C locale has no language and keeps the window's own)
// and the units' names in the reader's language.
ByteUnits::Notation notation() {
    const QLocale locale;
    return {locale.language() == QLocale::C ? "," : locale.decimalPoint().toStdString(),
            {UiText::bytes, UiText::kilobytes, UiText::megabytes, UiText::gigabytes}};
}

} // namespace

std::string StatusLine::duration(int64_t minutes) {
    if (minutes < 60)
        return UiText::minutes.arg(std::to_string(minutes));
    const int64_t rest = minutes % 60;
    return UiText::hoursMinutes.arg(std::to_string(minutes / 60),
                                    (rest < 10 ? "0" : "") + std::to_string(rest));
}

StatusLine::Look StatusLine::of(const ConnectionStatus& status) {
    if (status.stillReconnecting)
        return Look::stillReconnecting;
    switch (status.phase) {
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

std::string StatusLine::headline(Look look, const ConnectionStats::Snapshot& stats) {
    switch (look) {
    case Look::disconnected:
        return UiText::notConnected;
    case Look::connecting:
        return UiText::connecting;
    case Look::stillReconnecting:
        return UiText::stillReconnecting;
    case Look::stopping:
        return UiText::disconnecting;
    case Look::blocked:
        return UiText::blocked;
    case Look::connected:
        break;
    }
    return stats.server.empty() ? UiText::connected.str() : UiText::connectedTo.arg(stats.server);
}

std::string StatusLine::text(Look look, const ConnectionStats::Snapshot& stats,
                             ConnectionStats::Clock::time_point now, const std::string& progress) {
    if (look == Look::connecting && !progress.empty())
        return headline(look, stats) + "\n" + progress;
    if (look != Look::connected)
        return headline(look, stats);
    const ByteUnits::Notation units = notation();
    return headline(look, stats) + " \u00b7 " +
           duration(ConnectionStats::minutesConnected(stats, now)) + "\n" +
           UiText::received.arg(ByteUnits::format(stats.bytesIn, units)) + " \u00b7 " +
           UiText::sent.arg(ByteUnits::format(stats.bytesOut, units));
}

#include "helperd/DaemonLog.h"

#include "helperd/LogScrub.h"
#include "platform/Log.h"

namespace {

// The daemon is single-threaded: one summary for the process, used from its loop.
LogSummary& summary() {
    static LogSummary s([](std::string_view text) { Log::line(text); });
    return s;
}

} // namespace

void DaemonLog::line(std::string_view text) {
    summary().line(LogScrub::scrubbed(text), LogSummary::Clock::now());
}

void DaemonLog::flush() {
    summary().flush(LogSummary::Clock::now());
}

void DaemonLog::finish() {
    summary().flush(LogSummary::Clock::now() + LogSummary::window);
}

std::optional<LogSummary::Clock::time_point> DaemonLog::nextFlush() {
    return summary().nextFlush();
}

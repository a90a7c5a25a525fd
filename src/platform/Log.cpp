#include "platform/Log.h"

#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace {

struct Records {
    std::mutex mutex;
    int captures = 0;
    std::vector<std::string> system;
    std::vector<std::string> output;
};

Records& records() {
    static auto* r = new Records; // outlives every static destructor that might log
    return *r;
}

bool anyContains(const std::vector<std::string>& lines, std::string_view text) {
    for (const auto& l : lines)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

void Log::setIdentity(const char* identity) {
    openlog(identity, LOG_PID, LOG_USER);
}

void Log::line(std::string_view text) {
    auto& r = records();
    std::lock_guard lock(r.mutex);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(text.size()), text.data());
    if (r.captures > 0)
        r.system.emplace_back(text);
}

void Log::standardOutput(std::string_view text) {
    auto& r = records();
    std::lock_guard lock(r.mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (r.captures > 0)
        r.output.emplace_back(text);
}

Log::Capture::Capture() {
    auto& r = records();
    std::lock_guard lock(r.mutex);
    if (r.captures++ == 0) {
        r.system.clear();
        r.output.clear();
    }
}

Log::Capture::~Capture() {
    auto& r = records();
    std::lock_guard lock(r.mutex);
    --r.captures;
}

std::vector<std::string> Log::Capture::systemLines() const {
    std::lock_guard lock(records().mutex);
    return records().system;
}

std::vector<std::string> Log::Capture::outputLines() const {
    std::lock_guard lock(records().mutex);
    return records().output;
}

bool Log::Capture::systemContains(std::string_view text) const {
    std::lock_guard lock(records().mutex);
    return anyContains(records().system, text);
}

bool Log::Capture::outputContains(std::string_view text) const {
    std::lock_guard lock(records().mutex);
    return anyContains(records().output, text);
}

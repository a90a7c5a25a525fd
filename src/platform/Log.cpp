#include "platform/Log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

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

std::atomic<bool> toSyslog{true};

// systemd names the journal stream it connected to standard error in JOURNAL_STREAM.
bool standardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st;
    return stream && ::fstat(STDERR_FILENO, &st) == 0 &&
           std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) == stream;
}

} // namespace

void Log::setIdentity(const char* identity) {
    // Under systemd standard error goes to the journal already; syslog would log
    // every line twice.
    toSyslog = !standardErrorIsJournal();
    openlog(identity, LOG_PID, LOG_USER);
}

void Log::line(std::string_view text) {
    auto& r = records();
    std::lock_guard lock(r.mutex);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    if (toSyslog)
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

#include "platform/AllocatorTunables.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <sys/auxv.h>
#include <unistd.h>
#include <vector>

namespace {

// The "name=value" entries of a GLIBC_TUNABLES value, which ':' separates.
std::vector<std::string> entries(const std::string& tunables) {
    std::vector<std::string> found;
    size_t at = 0;
    while (at < tunables.size()) {
        const size_t end = std::min(tunables.find(':', at), tunables.size());
        if (end > at)
            found.push_back(tunables.substr(at, end - at));
        at = end + 1;
    }
    return found;
}

std::string nameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// Set for the program started over: GLIBC_TUNABLES as it was before, "=" and its value,
// or "-" when it was not set. glibc takes its tunables only as a program starts, so the
// program started over puts the user's own back for the programs it starts in turn, and
// does not start over again, whatever became of GLIBC_TUNABLES on the way.
constexpr const char* startedOver = "QUOVANT_STARTED_OVER";

void restore(const char* before) {
    if (before[0] == '=')
        ::setenv("GLIBC_TUNABLES", before + 1, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
    ::unsetenv(startedOver);
}

} // namespace

std::optional<std::string> AllocatorTunables::adding(const char* current,
                                                     const std::string& wanted) {
    std::string result = current ? current : "";
    bool added = false;
    for (const auto& entry : entries(wanted)) {
        bool set = false;
        for (const auto& present : entries(result))
            set = set || nameOf(present) == nameOf(entry);
        if (set)
            continue;
        result += (result.empty() ? "" : ":") + entry;
        added = true;
    }
    if (!added)
        return std::nullopt;
    return result;
}

void AllocatorTunables::startOverWith(const std::string& wanted, char** argv) {
    if (const char* before = std::getenv(startedOver)) {
        restore(before);
        return;
    }
    // glibc gives no tunables to a program it runs in secure mode (set-id, file
    // capabilities); a program run through the dynamic loader by name has the loader as its
    // executable, which has no interpreter (AT_BASE 0). Neither starts over.
    if (::getauxval(AT_SECURE) != 0 || ::getauxval(AT_BASE) == 0)
        return;
    const char* current = std::getenv("GLIBC_TUNABLES");
    const auto tunables = adding(current, wanted);
    if (!tunables)
        return;
    // The executable's own path rather than /proc/self/exe, whose last part ("exe") the
    // kernel would name the process after.
    std::array<char, PATH_MAX> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size())
        return;
    const std::string executable(path.data(), static_cast<size_t>(length));
    if (executable.ends_with(" (deleted)"))
        return; // replaced since it started, as in an upgrade: this one runs on
    const std::string before = current ? std::string("=") + current : "-";
    if (::setenv(startedOver, before.c_str(), 1) == 0 &&
        ::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) == 0)
        ::execv(executable.c_str(), argv);
    restore(before.c_str());
}

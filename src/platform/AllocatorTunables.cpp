#include "platform/AllocatorTunables.h"

#include <cstdlib>
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
    const char* current = std::getenv("GLIBC_TUNABLES");
    const auto tunables = adding(current, wanted);
    if (!tunables)
        return;
    const std::optional<std::string> before =
        current ? std::optional<std::string>(current) : std::nullopt;
    if (::setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // Not started over: the settings would reach only the programs this one starts.
    if (before)
        ::setenv("GLIBC_TUNABLES", before->c_str(), 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

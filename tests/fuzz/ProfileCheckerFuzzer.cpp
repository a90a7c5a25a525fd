// Arbitrary profiles through the checker. Beyond not crashing: whatever it accepts
// must not carry a directive that runs programs or names files, checked here by a
// second, independent look at every line outside inline blocks.
#include "helperd/ProfileChecker.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool startsWithDangerous(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    for (const char* word :
         {"up",     "down",     "plugin",   "script-security", "management", "log",     "config",
          "setenv", "route-up", "ipchange", "learn-address",   "tls-verify", "engine",  "providers",
          "cd",     "chroot",   "writepid", "status",          "daemon",     "iproute", "--",
          "\"",     "'"}) {
        const std::string w = word;
        if (line.substr(0, w.size()) == w &&
            (w == "--" || w == "\"" || w == "'" || line.size() == w.size() ||
             line[w.size()] == ' ' || line[w.size()] == '\t'))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view profile(reinterpret_cast<const char*>(data), size);
    if (!ProfileChecker::check(profile).accepted)
        return 0;
    bool inBlock = false;
    size_t pos = 0;
    while (pos <= profile.size()) {
        const size_t lf = profile.find('\n', pos);
        std::string_view line =
            profile.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        pos = lf == std::string_view::npos ? profile.size() + 1 : lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find("<") != std::string_view::npos && line.find("</") == std::string_view::npos) {
            inBlock = true;
            continue;
        }
        if (line.find("</") != std::string_view::npos) {
            inBlock = false;
            continue;
        }
        if (!inBlock && startsWithDangerous(line))
            std::abort();
    }
    return 0;
}

// Arbitrary profiles through the checker. Beyond not crashing: whatever it accepts
// must not carry a directive that runs programs or names files as openvpn itself
// would read the file.
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

// openvpn's own view of the file, modelled independently: lines read in pieces of at
// most 255 characters; an inline block opens at a piece starting with "<tag>" and
// closes at one starting with "</tag>" (leading blanks skipped); outside blocks each
// piece's first word (leading dashes dropped) is a directive.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view profile(reinterpret_cast<const char*>(data), size);
    if (!ProfileChecker::check(profile).accepted)
        return 0;
    std::string closeTag;
    size_t pos = 0;
    while (pos < profile.size()) {
        size_t end = profile.find('\n', pos);
        end = end == std::string_view::npos ? profile.size() : end + 1;
        const std::string_view piece = profile.substr(pos, std::min<size_t>(end - pos, 255));
        pos += piece.size();
        std::string_view line = piece;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (!closeTag.empty()) {
            if (line.substr(0, closeTag.size()) == closeTag)
                closeTag.clear();
            continue;
        }
        if (!line.empty() && line.front() == '<') {
            const size_t close = line.find('>');
            if (close != std::string_view::npos)
                closeTag = "</" + std::string(line.substr(1, close - 1)) + ">";
            continue;
        }
        while (!line.empty() && line.front() == '-')
            line.remove_prefix(1);
        if (startsWithDangerous(line))
            std::abort();
    }
    return 0;
}

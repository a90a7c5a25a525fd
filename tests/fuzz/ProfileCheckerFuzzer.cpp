// Arbitrary profiles through the checker. Beyond not crashing: whatever it accepts,
// read as openvpn itself would read the file, must be a TLS client of a remote server
// with encryption and authentication on, no local port of its choosing, every
// [inline] argument fed by a block, and no directive that runs programs or names
// files. Whatever it refuses, its verdict must not point into the profile.
#include "helperd/ProfileChecker.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

void require(bool holds) {
    if (!holds)
        std::abort();
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return out;
}

// Blank-separated words, surrounding quotes dropped.
std::vector<std::string> wordsOf(std::string_view line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        size_t end = i;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        if (end > i) {
            std::string w(line.substr(i, end - i));
            if (w.size() >= 2 && (w.front() == '"' || w.front() == '\'') && w.back() == w.front())
                w = w.substr(1, w.size() - 2);
            out.push_back(w);
        }
        i = end;
    }
    return out;
}

std::vector<std::string> listItems(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t colon; (colon = list.find(':', start)) != std::string::npos; start = colon + 1)
        out.push_back(list.substr(start, colon - start));
    out.push_back(list.substr(start));
    return out;
}

bool neverAllowed(const std::string& name) {
    static const std::set<std::string> words = {
        // runs programs, loads code, moves files or the process
        "up", "down", "plugin", "script-security", "management", "log", "config", "setenv",
        "route-up", "ipchange", "learn-address", "tls-verify", "engine", "providers", "cd",
        "chroot", "writepid", "status", "daemon", "iproute",
        // listens or binds a port of the profile's choosing
        "lport", "local", "bind", "port-share", "server", "mode", "tls-server",
        // runs without TLS or without its protections
        "secret", "ncp-disable", "no-replay", "no-iv"};
    return words.count(name) > 0;
}

bool switchesCryptoOff(const std::string& name, const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        for (const auto& item : listItems(lowered(arg))) {
            if ((name == "cipher" || name == "data-ciphers" || name == "data-ciphers-fallback" ||
                 name == "ncp-ciphers" || name == "auth") &&
                item == "none")
                return true;
            if (name == "tls-cipher" && !item.empty() && item.front() != '-')
                for (const char* weak : {"null", "anon", "adh", "aecdh", "complementof"})
                    if (item.find(weak) != std::string::npos)
                        return true;
            // openvpn reads '-' as '_' in suite names, mixed in one name too.
            std::string suite = item;
            std::replace(suite.begin(), suite.end(), '-', '_');
            if (name == "tls-ciphersuites" && suite.rfind("tls_aes_", 0) != 0 &&
                suite.rfind("tls_chacha20_", 0) != 0)
                return true;
        }
        if (name == "tls-cert-profile" && arg == "insecure")
            return true;
        if (name == "proto" && arg.find("server") != std::string::npos)
            return true;
    }
    return false;
}

// Directives whose argument names a file, or with "[inline]" the block after them.
bool takesAFile(const std::string& name) {
    static const std::set<std::string> words = {
        "ca",       "cert",           "key",          "extra-certs", "pkcs12",
        "tls-auth", "tls-crypt",      "tls-crypt-v2", "crl-verify",  "dh",
        "secret",   "auth-user-pass", "askpass"};
    return words.count(name) > 0;
}

bool pointsInto(std::string_view outer, std::string_view view) {
    return !view.empty() && view.data() >= outer.data() &&
           view.data() < outer.data() + outer.size();
}

} // namespace

// openvpn's own view of the file, modelled independently: lines read in pieces of at
// most 255 characters; an inline block opens at a piece starting with "<tag>" and
// closes at one starting with "</tag>" (leading blanks skipped); outside blocks each
// piece's first word (leading dashes dropped) is a directive; a later directive's
// "[inline]" is a file name again, so a block must follow it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view profile(reinterpret_cast<const char*>(data), size);
    const ProfileVerdict verdict = ProfileChecker::check(profile);
    if (!verdict) {
        const ProfileRefusal& refusal = verdict.why();
        require(!pointsInto(profile, refusal.directive) && !pointsInto(profile, refusal.reason));
        require(!refusal.describe().empty()); // reads through both views
        return 0;
    }
    std::set<std::string> directives;
    std::set<std::string> unfed;
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
            if (close != std::string_view::npos) {
                const std::string tag(line.substr(1, close - 1));
                closeTag = "</" + tag + ">";
                directives.insert(tag);
                unfed.erase(tag);
            }
            continue;
        }
        require(line.empty() || (line.front() != '"' && line.front() != '\''));
        while (!line.empty() && line.front() == '-')
            line.remove_prefix(1);
        auto words = wordsOf(line);
        if (words.empty() || words[0][0] == '#' || words[0][0] == ';')
            continue;
        const std::string name = words[0];
        words.erase(words.begin());
        require(!neverAllowed(name) && !switchesCryptoOff(name, words));
        if (takesAFile(name) && !words.empty() && words[0] == "[inline]")
            unfed.insert(name);
        directives.insert(name);
    }
    require(unfed.empty());
    require(directives.count("client") ||
            (directives.count("tls-client") && directives.count("pull")));
    require(directives.count("remote"));
    require(!directives.count("port") || directives.count("nobind"));
    return 0;
}

#include "helperd/ProfileChecker.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace {

using Args = std::vector<std::string>;
using ArgCheck = std::function<bool(const std::string&)>;

struct Rule {
    size_t minArgs;
    size_t maxArgs;
    std::vector<ArgCheck> positional; // checks for argument 1, 2, ...; the last repeats
};

ArgCheck oneOf(std::initializer_list<const char*> words) {
    std::set<std::string> allowed(words.begin(), words.end());
    return [allowed](const std::string& a) { return allowed.count(a) > 0; };
}

// A word of `min` to `max` characters: the first from `first`, the rest from `rest`.
ArgCheck word(std::string first, std::string rest, size_t min, size_t max) {
    return [first = std::move(first), rest = std::move(rest), min, max](const std::string& a) {
        if (a.size() < min || a.size() > max)
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if ((i == 0 ? first : rest).find(a[i]) == std::string::npos)
                return false;
        return true;
    };
}

constexpr std::string_view digits = "0123456789";
constexpr std::string_view hexDigits = "0123456789abcdefABCDEF";
constexpr std::string_view alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool isNumber(const std::string& a) {
    return !a.empty() && a.size() <= 9 && std::all_of(a.begin(), a.end(), ::isdigit);
}

bool isIPv4(const std::string& a) {
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? a.find('.', start) : a.size();
        if (end == std::string::npos || end == start || end - start > 3 ||
            !std::all_of(a.begin() + static_cast<long>(start), a.begin() + static_cast<long>(end),
                         ::isdigit))
            return false;
        start = end + 1;
    }
    return true;
}

const ArgCheck number = isNumber;
const ArgCheck port = [](const std::string& a) {
    return isNumber(a) && std::stoul(a) >= 1 && std::stoul(a) <= 65535;
};
const ArgCheck host = word(std::string(alnum), std::string(alnum) + ".:-", 1, 253);
const ArgCheck protocol = oneOf(
    {"udp", "tcp", "udp4", "udp6", "tcp4", "tcp6", "tcp-client", "tcp4-client", "tcp6-client"});
const ArgCheck cipherList = word(std::string(alnum), std::string(alnum) + ":_+-", 1, 256);
const ArgCheck printable = [](const std::string& a) {
    return !a.empty() && a.size() <= 255 &&
           std::all_of(a.begin(), a.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
};
const ArgCheck inlineOnly = oneOf({"[inline]"});
const ArgCheck routeToken = [](const std::string& a) {
    return isIPv4(a) || a == "vpn_gateway" || a == "net_gateway" || a == "remote_host" ||
           a == "default" || isNumber(a);
};
const ArgCheck routeIPv6Token = [](const std::string& a) {
    static const ArgCheck address =
        word(std::string(hexDigits), std::string(hexDigits) + ":", 2, 39);
    static const ArgCheck prefixLength = word(std::string(digits), std::string(digits), 1, 3);
    const size_t slash = a.find('/');
    if (slash != std::string::npos)
        return address(a.substr(0, slash)) && prefixLength(a.substr(slash + 1));
    return address(a) || a == "vpn_gateway" || a == "net_gateway" || a == "remote_host" ||
           isNumber(a);
};
const ArgCheck device = [](const std::string& a) {
    if (a.size() < 3 || (a.substr(0, 3) != "tun" && a.substr(0, 3) != "tap"))
        return false;
    return a.size() == 3 || word(std::string(digits), std::string(digits), 1, 3)(a.substr(3));
};
const ArgCheck gatewayFlag = oneOf(
    {"def1", "local", "autolocal", "bypass-dhcp", "bypass-dns", "block-local", "ipv6", "!ipv4"});

const std::map<std::string, Rule>& rules() {
    static const std::map<std::string, Rule> table = [] {
        std::map<std::string, Rule> t;
        for (const char* flag : {"client",
                                 "nobind",
                                 "persist-key",
                                 "persist-tun",
                                 "persist-remote-ip",
                                 "auth-nocache",
                                 "remote-random",
                                 "float",
                                 "pull",
                                 "tls-client",
                                 "mute-replay-warnings",
                                 "auth-user-pass",
                                 "route-nopull",
                                 "tun-ipv6",
                                 "push-peer-info",
                                 "fast-io",
                                 "allow-pull-fqdn",
                                 "ifconfig-nowarn",
                                 "disable-occ",
                                 "block-ipv6"})
            t[flag] = {0, 0, {}};
        for (const char* n :
             {"connect-retry-max", "connect-timeout", "server-poll-timeout", "hand-window", "ping",
              "ping-restart", "ping-exit", "mute", "tun-mtu", "tun-mtu-extra", "link-mtu", "sndbuf",
              "rcvbuf", "txqueuelen", "tran-window", "reneg-bytes", "reneg-pkts", "route-metric"})
            t[n] = {1, 1, {number}};
        for (const char* n : {"connect-retry", "reneg-sec", "replay-window", "route-delay"})
            t[n] = {std::string(n) == "route-delay" ? 0u : 1u, 2, {number}};
        for (const char* c :
             {"cipher", "data-ciphers", "data-ciphers-fallback", "auth", "tls-cipher",
              "tls-ciphersuites", "tls-groups", "ecdh-curve", "ncp-ciphers"})
            t[c] = {1, 1, {cipherList}};
        for (const char* i : {"ca", "cert", "key", "extra-certs", "pkcs12", "tls-crypt",
                              "tls-crypt-v2", "crl-verify"})
            t[i] = {1, 1, {inlineOnly}};
        t["tls-auth"] = {1, 2, {inlineOnly, oneOf({"0", "1"})}};
        t["dev"] = {1, 1, {device}};
        t["dev-type"] = {1, 1, {oneOf({"tun", "tap"})}};
        t["proto"] = {1, 1, {protocol}};
        t["remote"] = {1, 3, {host, port, protocol}};
        t["port"] = {1, 1, {port}};
        t["rport"] = {1, 1, {port}};
        t["resolv-retry"] = {
            1, 1, {[](const std::string& a) { return a == "infinite" || isNumber(a); }}};
        t["keepalive"] = {2, 2, {number}};
        t["verb"] = {1, 1, {oneOf({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"})}};
        t["mssfix"] = {0, 2, {number, oneOf({"mtu", "fixed"})}};
        t["fragment"] = {1, 2, {number, oneOf({"mtu"})}};
        t["explicit-exit-notify"] = {0, 1, {number}};
        t["remote-cert-tls"] = {1, 1, {oneOf({"server", "client"})}};
        t["verify-x509-name"] = {1, 2, {printable, oneOf({"subject", "name", "name-prefix"})}};
        t["remote-cert-ku"] = {1, 8, {word(std::string(hexDigits), std::string(hexDigits), 1, 4)}};
        t["remote-cert-eku"] = {1, 1, {printable}};
        t["tls-version-min"] = {1, 2, {oneOf({"1.0", "1.1", "1.2", "1.3"}), oneOf({"or-highest"})}};
        t["tls-version-max"] = {1, 1, {oneOf({"1.0", "1.1", "1.2", "1.3"})}};
        t["tls-cert-profile"] = {1, 1, {oneOf({"legacy", "preferred", "suiteb", "insecure"})}};
        t["key-direction"] = {1, 1, {oneOf({"0", "1"})}};
        t["comp-lzo"] = {0, 1, {oneOf({"yes", "no", "adaptive"})}};
        t["compress"] = {0, 1, {oneOf({"lzo", "lz4", "lz4-v2", "stub", "stub-v2", "migrate"})}};
        t["allow-compression"] = {1, 1, {oneOf({"yes", "no", "asym"})}};
        t["redirect-gateway"] = {0, 8, {gatewayFlag}};
        t["redirect-private"] = {0, 8, {gatewayFlag}};
        t["route"] = {1, 4, {routeToken}};
        t["route-ipv6"] = {1, 3, {routeIPv6Token}};
        t["pull-filter"] = {2, 2, {oneOf({"accept", "ignore", "reject"}), printable}};
        t["topology"] = {1, 1, {oneOf({"net30", "p2p", "subnet"})}};
        t["dhcp-option"] = {
            1,
            2,
            {oneOf({"DNS", "DNS6", "DOMAIN", "DOMAIN-SEARCH", "ADAPTER_DOMAIN_SUFFIX", "NTP",
                    "WINS", "NBT", "NBS", "NBDD", "DISABLE-NBT"}),
             host}};
        t["auth-retry"] = {1, 1, {oneOf({"none"})}};
        return t;
    }();
    return table;
}

const std::set<std::string>& inlineTags() {
    static const std::set<std::string> tags = {"ca",          "cert",      "key",
                                               "tls-auth",    "tls-crypt", "tls-crypt-v2",
                                               "extra-certs", "pkcs12",    "crl-verify"};
    return tags;
}

ProfileVerdict refuse(size_t line, std::string directive, std::string reason) {
    return {false, line, std::move(directive), std::move(reason)};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits a directive line the way openvpn's lexer does for the forms we accept:
// blanks separate, '...' or "..." group. Backslashes, and quotes inside a bare
// word, are refused rather than interpreted.
std::optional<Args> tokens(std::string_view line, std::string& why) {
    Args out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        if (line[i] == '"' || line[i] == '\'') {
            const char quote = line[i];
            const size_t close = line.find(quote, i + 1);
            if (close == std::string_view::npos) {
                why = "unbalanced quote";
                return std::nullopt;
            }
            if (close + 1 < line.size() && !isBlank(line[close + 1])) {
                why = "text runs on after a closing quote";
                return std::nullopt;
            }
            out.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = i;
        while (end < line.size() && !isBlank(line[end])) {
            if (line[end] == '"' || line[end] == '\'') {
                why = "quote inside a word";
                return std::nullopt;
            }
            ++end;
        }
        out.emplace_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

bool printableAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return c == '\t' || (c >= 0x20 && c < 0x7F); });
}

} // namespace

std::string ProfileVerdict::describe() const {
    if (accepted)
        return "accepted";
    std::string text = reason;
    if (!directive.empty())
        text = "directive '" + directive + "': " + text;
    if (line > 0)
        text += " (line " + std::to_string(line) + ")";
    return text;
}

ProfileVerdict ProfileChecker::check(std::string_view profile) {
    if (profile.size() > maxProfileBytes)
        return refuse(0, "", "profile larger than " + std::to_string(maxProfileBytes) + " bytes");
    if (profile.substr(0, 3) == "\xEF\xBB\xBF")
        return refuse(1, "", "byte order mark");
    if (profile.find('\0') != std::string_view::npos)
        return refuse(0, "", "NUL byte");

    std::string openBlock;
    size_t blockStart = 0;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < profile.size()) {
        const size_t lf = profile.find('\n', pos);
        std::string_view raw =
            profile.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        pos = lf == std::string_view::npos ? profile.size() : lf + 1;
        ++lineNumber;
        // Comments and inline lines too: a cut piece of one would be read as a directive.
        if (raw.size() > maxLine)
            return refuse(lineNumber, openBlock.empty() ? "" : "<" + openBlock + ">",
                          "line longer than " + std::to_string(maxLine) + " bytes");
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string_view line = trimmed(raw);

        if (!openBlock.empty()) {
            if (line == "</" + openBlock + ">") {
                openBlock.clear();
                continue;
            }
            if (!printableAscii(raw) || (!line.empty() && line.front() == '<'))
                return refuse(lineNumber, "<" + openBlock + ">",
                              "unexpected text inside an inline block");
            continue;
        }

        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (!printableAscii(raw))
            return refuse(lineNumber, "", "control or non-ASCII character");
        if (line.find('\\') != std::string_view::npos)
            return refuse(lineNumber, "", "backslash");

        if (line.front() == '<') {
            if (line.size() < 3 || line.back() != '>' || line[1] == '/')
                return refuse(lineNumber, std::string(line), "malformed inline block tag");
            const std::string tag(line.substr(1, line.size() - 2));
            if (!inlineTags().count(tag))
                return refuse(lineNumber, "<" + tag + ">", "inline block not allowed");
            openBlock = tag;
            blockStart = lineNumber;
            continue;
        }

        std::string why;
        const auto words = tokens(line, why);
        if (!words || words->empty())
            return refuse(lineNumber, "", why.empty() ? "unreadable line" : why);
        if (line.front() == '"' || line.front() == '\'')
            return refuse(lineNumber, (*words)[0], "quoted directive name");
        const std::string& name = (*words)[0];
        const auto rule = rules().find(name);
        if (rule == rules().end())
            return refuse(lineNumber, name, "not allowed");
        const Args args(words->begin() + 1, words->end());
        const Rule& r = rule->second;
        if (args.size() < r.minArgs || args.size() > r.maxArgs)
            return refuse(lineNumber, name, "wrong number of arguments");
        for (size_t i = 0; i < args.size(); ++i) {
            const ArgCheck& check = r.positional[std::min(i, r.positional.size() - 1)];
            if (!check(args[i]))
                return refuse(lineNumber, name,
                              "argument " + std::to_string(i + 1) + " not allowed");
        }
    }
    if (!openBlock.empty())
        return refuse(blockStart, "<" + openBlock + ">", "inline block never closed");
    return {true, 0, "", ""};
}

#include "helperd/ProfileChecker.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <set>
#include <vector>

namespace {

// Argument kinds. Each is a hand-written character-class match: a regular expression
// engine would recurse once per character of hostile input.
using Kind = bool (*)(std::string_view);

constexpr std::string_view digits = "0123456789";
constexpr std::string_view hexDigits = "0123456789abcdefABCDEF";
constexpr std::string_view alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view hexDigitsColon = "0123456789abcdefABCDEF:";
constexpr std::string_view hostChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.:-";
constexpr std::string_view listChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789:_+-";

bool among(std::string_view a, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), a) != words.end();
}

// A word of `min` to `max` characters: the first from `first`, the rest from `rest`.
bool spelled(std::string_view a, std::string_view first, std::string_view rest, size_t min,
             size_t max) {
    if (a.size() < min || a.size() > max)
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((i == 0 ? first : rest).find(a[i]) == std::string_view::npos)
            return false;
    return true;
}

bool allDigits(std::string_view a) {
    return std::all_of(a.begin(), a.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == y; });
}

bool containsIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
    for (size_t i = 0; i + lowerNeedle.size() <= text.size(); ++i)
        if (sameIgnoringCase(text.substr(i, lowerNeedle.size()), lowerNeedle))
            return true;
    return false;
}

// The ':'-separated items of a list.
std::vector<std::string_view> items(std::string_view list) {
    std::vector<std::string_view> out;
    for (size_t start = 0;;) {
        const size_t colon = list.find(':', start);
        out.push_back(list.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos)
            return out;
        start = colon + 1;
    }
}

bool isIPv4(std::string_view a) {
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? a.find('.', start) : a.size();
        if (end == std::string_view::npos || end == start || end - start > 3 ||
            !allDigits(a.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

bool number(std::string_view a) {
    return !a.empty() && a.size() <= 9 && allDigits(a);
}

bool port(std::string_view a) {
    if (!number(a) || a.size() > 5)
        return false;
    unsigned long value = 0;
    for (char c : a)
        value = value * 10 + static_cast<unsigned long>(c - '0');
    return value >= 1 && value <= 65535;
}

bool host(std::string_view a) {
    return spelled(a, alnum, hostChars, 1, 253);
}

bool printable(std::string_view a) {
    return !a.empty() && a.size() <= 255 &&
           std::all_of(a.begin(), a.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool protocol(std::string_view a) {
    return among(a, {"udp", "tcp", "udp4", "udp6", "tcp4", "tcp6", "tcp-client", "tcp4-client",
                     "tcp6-client"});
}

bool device(std::string_view a) {
    if (a.size() < 3 || (a.substr(0, 3) != "tun" && a.substr(0, 3) != "tap"))
        return false;
    return a.size() == 3 || spelled(a.substr(3), digits, digits, 1, 3);
}

bool deviceType(std::string_view a) {
    return among(a, {"tun", "tap"});
}

bool retryLimit(std::string_view a) {
    return a == "infinite" || number(a);
}

bool verbosity(std::string_view a) {
    return among(a, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
}

bool mssfixMode(std::string_view a) {
    return among(a, {"mtu", "fixed"});
}

bool fragmentMode(std::string_view a) {
    return a == "mtu";
}

// Names inline blocks only: a path would make root read a file. The block itself must
// follow (checked in the profile as a whole).
bool inlined(std::string_view a) {
    return a == "[inline]";
}

bool keyDirection(std::string_view a) {
    return among(a, {"0", "1"});
}

bool peerRole(std::string_view a) {
    return among(a, {"server", "client"});
}

bool x509NameType(std::string_view a) {
    return among(a, {"subject", "name", "name-prefix"});
}

bool keyUsage(std::string_view a) {
    return spelled(a, hexDigits, hexDigits, 1, 4);
}

bool tlsVersion(std::string_view a) {
    return among(a, {"1.0", "1.1", "1.2", "1.3"});
}

bool orHighest(std::string_view a) {
    return a == "or-highest";
}

// "insecure" lifts every minimum on keys and signatures, MD5 included.
bool certProfile(std::string_view a) {
    return among(a, {"legacy", "preferred", "suiteb"});
}

// Curve and group names: they choose a key exchange and cannot turn it off.
bool groups(std::string_view a) {
    return spelled(a, alnum, listChars, 1, 256);
}

// Data-channel ciphers and digests, alone or as a list; "none" in any position would
// let the data channel run in clear or unauthenticated.
bool algorithms(std::string_view a) {
    if (!spelled(a, alnum, listChars, 1, 256))
        return false;
    const auto list = items(a);
    return std::none_of(list.begin(), list.end(),
                        [](std::string_view item) { return sameIgnoringCase(item, "none"); });
}

// An OpenSSL cipher list for TLS 1.2 and older. An item that adds suites without
// encryption (NULL) or without authentication of the server (anon, ADH, AECDH), or
// the complement sets that hold them, is refused; an item that removes ("-") is fine.
bool tlsCiphers(std::string_view a) {
    if (!spelled(a, alnum, listChars, 1, 256))
        return false;
    const auto list = items(a);
    return std::none_of(list.begin(), list.end(), [](std::string_view item) {
        if (!item.empty() && item.front() == '-')
            return false;
        for (std::string_view weak : {"null", "anon", "adh", "aecdh", "complementof"})
            if (containsIgnoringCase(item, weak))
                return true;
        return false;
    });
}

// TLS 1.3 suites, only the authenticated-encryption ones (openvpn accepts '-' for '_').
bool tls13Suites(std::string_view a) {
    if (!spelled(a, alnum, listChars, 1, 256))
        return false;
    const auto list = items(a);
    return std::all_of(list.begin(), list.end(), [](std::string_view item) {
        std::string name(item);
        std::replace(name.begin(), name.end(), '-', '_');
        return among(name, {"TLS_AES_256_GCM_SHA384", "TLS_AES_128_GCM_SHA256",
                            "TLS_CHACHA20_POLY1305_SHA256", "TLS_AES_128_CCM_SHA256",
                            "TLS_AES_128_CCM_8_SHA256"});
    });
}

bool lzoMode(std::string_view a) {
    return among(a, {"yes", "no", "adaptive"});
}

bool compressAlgorithm(std::string_view a) {
    return among(a, {"lzo", "lz4", "lz4-v2", "stub", "stub-v2", "migrate"});
}

bool compressionPolicy(std::string_view a) {
    return among(a, {"yes", "no", "asym"});
}

bool gatewayFlag(std::string_view a) {
    return among(a, {"def1", "local", "autolocal", "bypass-dhcp", "bypass-dns", "block-local",
                     "ipv6", "!ipv4"});
}

bool routeToken(std::string_view a) {
    return isIPv4(a) || among(a, {"vpn_gateway", "net_gateway", "remote_host", "default"}) ||
           number(a);
}

bool routeIPv6Token(std::string_view a) {
    const auto address = [](std::string_view s) {
        return spelled(s, hexDigits, hexDigitsColon, 2, 39);
    };
    const size_t slash = a.find('/');
    if (slash != std::string_view::npos)
        return address(a.substr(0, slash)) && spelled(a.substr(slash + 1), digits, digits, 1, 3);
    return address(a) || among(a, {"vpn_gateway", "net_gateway", "remote_host"}) || number(a);
}

bool pullFilterAction(std::string_view a) {
    return among(a, {"accept", "ignore", "reject"});
}

bool topology(std::string_view a) {
    return among(a, {"net30", "p2p", "subnet"});
}

bool dhcpOption(std::string_view a) {
    return among(a, {"DNS", "DNS6", "DOMAIN", "DOMAIN-SEARCH", "ADAPTER_DOMAIN_SUFFIX", "NTP",
                     "WINS", "NBT", "NBS", "NBDD", "DISABLE-NBT"});
}

bool noRetry(std::string_view a) {
    return a == "none";
}

enum class Binds { nothing, localPort };

struct Directive {
    std::string_view name;
    size_t minArgs;
    size_t maxArgs;
    std::array<Kind, 3> kinds; // for argument 1, 2, ...; the last one given repeats
    // A directive that also picks the local port openvpn binds to, and so makes it
    // listen there; allowed only with nobind.
    Binds binds = Binds::nothing;
};

// Root's whole attack surface: one row per directive, sorted by name.
constexpr auto allowlist = std::to_array<Directive>({
    {"allow-compression", 1, 1, {compressionPolicy}},
    {"allow-pull-fqdn", 0, 0, {}},
    {"auth", 1, 1, {algorithms}},
    {"auth-nocache", 0, 0, {}},
    {"auth-retry", 1, 1, {noRetry}},
    {"auth-user-pass", 0, 0, {}},
    {"block-ipv6", 0, 0, {}},
    {"ca", 1, 1, {inlined}},
    {"cert", 1, 1, {inlined}},
    {"cipher", 1, 1, {algorithms}},
    {"client", 0, 0, {}},
    {"comp-lzo", 0, 1, {lzoMode}},
    {"compress", 0, 1, {compressAlgorithm}},
    {"connect-retry", 1, 2, {number}},
    {"connect-retry-max", 1, 1, {number}},
    {"connect-timeout", 1, 1, {number}},
    {"crl-verify", 1, 1, {inlined}},
    {"data-ciphers", 1, 1, {algorithms}},
    {"data-ciphers-fallback", 1, 1, {algorithms}},
    {"dev", 1, 1, {device}},
    {"dev-type", 1, 1, {deviceType}},
    {"dhcp-option", 1, 2, {dhcpOption, host}},
    {"disable-occ", 0, 0, {}},
    {"ecdh-curve", 1, 1, {groups}},
    {"explicit-exit-notify", 0, 1, {number}},
    {"extra-certs", 1, 1, {inlined}},
    {"fast-io", 0, 0, {}},
    {"float", 0, 0, {}},
    {"fragment", 1, 2, {number, fragmentMode}},
    {"hand-window", 1, 1, {number}},
    {"ifconfig-nowarn", 0, 0, {}},
    {"keepalive", 2, 2, {number}},
    {"key", 1, 1, {inlined}},
    {"key-direction", 1, 1, {keyDirection}},
    {"link-mtu", 1, 1, {number}},
    {"mssfix", 0, 2, {number, mssfixMode}},
    {"mute", 1, 1, {number}},
    {"mute-replay-warnings", 0, 0, {}},
    {"ncp-ciphers", 1, 1, {algorithms}},
    {"nobind", 0, 0, {}},
    {"persist-key", 0, 0, {}},
    {"persist-remote-ip", 0, 0, {}},
    {"persist-tun", 0, 0, {}},
    {"ping", 1, 1, {number}},
    {"ping-exit", 1, 1, {number}},
    {"ping-restart", 1, 1, {number}},
    {"pkcs12", 1, 1, {inlined}},
    {"port", 1, 1, {port}, Binds::localPort},
    {"proto", 1, 1, {protocol}},
    {"pull", 0, 0, {}},
    {"pull-filter", 2, 2, {pullFilterAction, printable}},
    {"push-peer-info", 0, 0, {}},
    {"rcvbuf", 1, 1, {number}},
    {"redirect-gateway", 0, 8, {gatewayFlag}},
    {"redirect-private", 0, 8, {gatewayFlag}},
    {"remote", 1, 3, {host, port, protocol}},
    {"remote-cert-eku", 1, 1, {printable}},
    {"remote-cert-ku", 1, 8, {keyUsage}},
    {"remote-cert-tls", 1, 1, {peerRole}},
    {"remote-random", 0, 0, {}},
    {"reneg-bytes", 1, 1, {number}},
    {"reneg-pkts", 1, 1, {number}},
    {"reneg-sec", 1, 2, {number}},
    {"replay-window", 1, 2, {number}},
    {"resolv-retry", 1, 1, {retryLimit}},
    {"route", 1, 4, {routeToken}},
    {"route-delay", 0, 2, {number}},
    {"route-ipv6", 1, 3, {routeIPv6Token}},
    {"route-metric", 1, 1, {number}},
    {"route-nopull", 0, 0, {}},
    {"rport", 1, 1, {port}},
    {"server-poll-timeout", 1, 1, {number}},
    {"sndbuf", 1, 1, {number}},
    {"tls-auth", 1, 2, {inlined, keyDirection}},
    {"tls-cert-profile", 1, 1, {certProfile}},
    {"tls-cipher", 1, 1, {tlsCiphers}},
    {"tls-ciphersuites", 1, 1, {tls13Suites}},
    {"tls-client", 0, 0, {}},
    {"tls-crypt", 1, 1, {inlined}},
    {"tls-crypt-v2", 1, 1, {inlined}},
    {"tls-groups", 1, 1, {groups}},
    {"tls-version-max", 1, 1, {tlsVersion}},
    {"tls-version-min", 1, 2, {tlsVersion, orHighest}},
    {"topology", 1, 1, {topology}},
    {"tran-window", 1, 1, {number}},
    {"tun-ipv6", 0, 0, {}},
    {"tun-mtu", 1, 1, {number}},
    {"tun-mtu-extra", 1, 1, {number}},
    {"txqueuelen", 1, 1, {number}},
    {"verb", 1, 1, {verbosity}},
    {"verify-x509-name", 1, 2, {printable, x509NameType}},
});

constexpr size_t kindCount(const Directive& d) {
    return static_cast<size_t>(std::find(d.kinds.begin(), d.kinds.end(), nullptr) -
                               d.kinds.begin());
}

static_assert(std::is_sorted(allowlist.begin(), allowlist.end(),
                             [](const Directive& a, const Directive& b) {
                                 return a.name < b.name;
                             }),
              "the allowlist is looked up by binary search");
static_assert(std::all_of(allowlist.begin(), allowlist.end(),
                          [](const Directive& d) {
                              return d.minArgs <= d.maxArgs &&
                                     (d.maxArgs == 0) == (kindCount(d) == 0);
                          }),
              "every directive that takes arguments says of what kind");

const Directive* find(std::string_view name) {
    const auto row =
        std::lower_bound(allowlist.begin(), allowlist.end(), name,
                         [](const Directive& d, std::string_view n) { return d.name < n; });
    return row != allowlist.end() && row->name == name ? &*row : nullptr;
}

// A block `<name>` stands for the directive of that name with the block as its file.
const Directive* inlineBlock(std::string_view name) {
    const Directive* row = find(name);
    return row && row->kinds[0] == inlined ? row : nullptr;
}

ProfileVerdict refuse(size_t line, std::string_view reason, const Directive* about = nullptr,
                      size_t argument = 0) {
    return ProfileVerdict::failure(
        {line, about ? about->name : std::string_view(), argument, reason});
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
Result<std::vector<std::string_view>, std::string_view> tokens(std::string_view line) {
    using Tokens = Result<std::vector<std::string_view>, std::string_view>;
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        if (line[i] == '"' || line[i] == '\'') {
            const size_t close = line.find(line[i], i + 1);
            if (close == std::string_view::npos)
                return Tokens::failure("unbalanced quote");
            if (close + 1 < line.size() && !isBlank(line[close + 1]))
                return Tokens::failure("text runs on after a closing quote");
            out.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = i;
        while (end < line.size() && !isBlank(line[end])) {
            if (line[end] == '"' || line[end] == '\'')
                return Tokens::failure("quote inside a word");
            ++end;
        }
        out.push_back(line.substr(i, end - i));
        i = end;
    }
    return Tokens::success(std::move(out));
}

bool printableAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return c == '\t' || (c >= 0x20 && c < 0x7F); });
}

// What the profile as a whole holds, gathered line by line.
struct Holdings {
    std::set<std::string_view> directives;    // names from the allowlist
    std::map<std::string_view, size_t> unfed; // `[inline]` directives with no block after them
    const Directive* localPort = nullptr;     // first directive that picks a local port
    size_t localPortLine = 0;

    bool has(std::string_view name) const { return directives.count(name) > 0; }
};

// Rules on the profile as a whole: a client that pulls its settings over TLS from a
// remote server (a profile without them runs point-to-point, possibly in clear, and
// without a remote it waits for any peer), and no local port of its choosing.
ProfileVerdict wholeProfileVerdict(const Holdings& h) {
    if (h.directives.empty())
        return refuse(0, "profile has no directives");
    if (!h.unfed.empty()) {
        const auto first = std::min_element(h.unfed.begin(), h.unfed.end(),
                                            [](auto& a, auto& b) { return a.second < b.second; });
        // openvpn would open a file named "[inline]" instead.
        return refuse(first->second, "no inline block follows", find(first->first));
    }
    if (h.localPort && !h.has("nobind"))
        return refuse(h.localPortLine, "sets the local port too; allowed only with nobind",
                      h.localPort);
    if (!h.has("client") && !(h.has("tls-client") && h.has("pull")))
        return refuse(0, "not a client profile (needs client, or tls-client with pull)");
    if (!h.has("remote"))
        return refuse(0, "no remote");
    return ProfileVerdict::success();
}

} // namespace

std::string ProfileRefusal::describe() const {
    std::string text;
    if (line > 0)
        text = "line " + std::to_string(line) + ": ";
    if (!directive.empty())
        text.append(directive).append(": ");
    if (argument > 0)
        text += "argument " + std::to_string(argument) + " ";
    return text.append(reason);
}

ProfileVerdict ProfileChecker::check(std::string_view profile) {
    if (profile.size() > maxProfileBytes)
        return refuse(0, "profile too large");
    if (profile.substr(0, 3) == "\xEF\xBB\xBF")
        return refuse(1, "byte order mark");
    if (profile.find('\0') != std::string_view::npos)
        return refuse(0, "NUL byte");

    Holdings holdings;
    const Directive* openBlock = nullptr;
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
            return refuse(lineNumber, "line too long for openvpn to read in one piece", openBlock);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string_view line = trimmed(raw);

        if (openBlock) {
            if (line.size() == openBlock->name.size() + 3 && line.substr(0, 2) == "</" &&
                line.substr(2, openBlock->name.size()) == openBlock->name && line.back() == '>') {
                openBlock = nullptr;
                continue;
            }
            if (!printableAscii(raw) || (!line.empty() && line.front() == '<'))
                return refuse(lineNumber, "unexpected text inside its inline block", openBlock);
            continue;
        }

        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (!printableAscii(raw))
            return refuse(lineNumber, "control or non-ASCII character");
        if (line.find('\\') != std::string_view::npos)
            return refuse(lineNumber, "backslash");

        if (line.front() == '<') {
            if (line.size() < 3 || line.back() != '>' || line[1] == '/')
                return refuse(lineNumber, "malformed inline block tag");
            openBlock = inlineBlock(line.substr(1, line.size() - 2));
            if (!openBlock)
                return refuse(lineNumber, "inline block not allowed");
            blockStart = lineNumber;
            holdings.directives.insert(openBlock->name);
            holdings.unfed.erase(openBlock->name);
            continue;
        }

        const auto split = tokens(line);
        if (!split)
            return refuse(lineNumber, split.why());
        const std::vector<std::string_view>& words = split.value();
        if (words.empty())
            return refuse(lineNumber, "unreadable line");
        if (line.front() == '"' || line.front() == '\'')
            return refuse(lineNumber, "quoted directive name");
        const Directive* directive = find(words.front());
        if (!directive)
            return refuse(lineNumber, "directive not allowed");
        const size_t args = words.size() - 1;
        if (args < directive->minArgs || args > directive->maxArgs)
            return refuse(lineNumber, "wrong number of arguments", directive);
        for (size_t i = 0; i < args; ++i) {
            const Kind kind = directive->kinds[std::min(i, kindCount(*directive) - 1)];
            if (!kind(words[i + 1]))
                return refuse(lineNumber, "not allowed", directive, i + 1);
            if (kind == inlined)
                holdings.unfed[directive->name] = lineNumber;
        }
        holdings.directives.insert(directive->name);
        if (directive->binds == Binds::localPort && !holdings.localPort) {
            holdings.localPort = directive;
            holdings.localPortLine = lineNumber;
        }
    }
    if (openBlock)
        return refuse(blockStart, "inline block never closed", openBlock);
    return wholeProfileVerdict(holdings);
}

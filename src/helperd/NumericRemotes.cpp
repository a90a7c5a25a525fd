#include "helperd/NumericRemotes.h"

#include "helperd/ProfileLines.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <netinet/in.h>
#include <set>

namespace {

// The protocols a remote may name, as the daemon writes them back, and which address
// family each restricts a remote to (0: either).
struct Protocol {
    std::string_view name;
    int family;
};
constexpr std::array<Protocol, 9> protocols = {{{"udp", 0},
                                                {"tcp", 0},
                                                {"tcp-client", 0},
                                                {"udp4", AF_INET},
                                                {"tcp4", AF_INET},
                                                {"tcp4-client", AF_INET},
                                                {"udp6", AF_INET6},
                                                {"tcp6", AF_INET6},
                                                {"tcp6-client", AF_INET6}}};

const Protocol* protocolNamed(std::string_view name) {
    const auto found = std::find_if(protocols.begin(), protocols.end(),
                                    [&](const Protocol& p) { return p.name == name; });
    return found == protocols.end() ? nullptr : &*found;
}

int familyOf(std::string_view address) {
    return address.find(':') == std::string_view::npos ? AF_INET : AF_INET6;
}

// The port written back as the number it stands for: the allowlist let through only
// digits for 1 to 65535.
std::optional<std::string> portText(std::string_view word) {
    if (word.empty() || word.size() > 5 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const unsigned long value = std::stoul(std::string(word));
    if (value < 1 || value > 65535)
        return std::nullopt;
    return std::to_string(value);
}

// The profile-wide protocol openvpn applies to remotes that name none: the last `proto`.
const Protocol* defaultProtocol(std::string_view profile) {
    const Protocol* found = nullptr;
    ProfileLines::forEach(profile, [&](const ProfileLines::Line& line) {
        if (line.words.size() == 2 && line.words[0] == "proto")
            found = protocolNamed(line.words[1]);
    });
    return found;
}

} // namespace

bool NumericRemotes::isAddress(std::string_view text) {
    const std::string copy(text);
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, copy.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, copy.c_str(), buffer) == 1;
}

std::optional<std::string> NumericRemotes::remoteAddress(std::string_view text) {
    const std::string copy(text);
    in6_addr raw6;
    in_addr raw4;
    char out[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, copy.c_str(), &raw4) == 1)
        return ::inet_ntop(AF_INET, &raw4, out, sizeof out) ? std::optional<std::string>(out)
                                                            : std::nullopt;
    if (::inet_pton(AF_INET6, copy.c_str(), &raw6) != 1)
        return std::nullopt;
    if (IN6_IS_ADDR_V4MAPPED(&raw6)) {
        std::memcpy(&raw4, raw6.s6_addr + 12, sizeof raw4);
        return ::inet_ntop(AF_INET, &raw4, out, sizeof out) ? std::optional<std::string>(out)
                                                            : std::nullopt;
    }
    if (!::inet_ntop(AF_INET6, &raw6, out, sizeof out))
        return std::nullopt;
    const std::string spelled = out;
    return spelled.front() == ':' ? "0" + spelled : spelled;
}

std::vector<std::string> NumericRemotes::hostNames(std::string_view profile) {
    // A profile of the largest size may name some twenty thousand hosts: the names seen
    // are kept sorted, so that each remote costs a logarithmic look-up, not a scan.
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    ProfileLines::forEach(profile, [&](const ProfileLines::Line& line) {
        if (line.words.size() < 2 || line.words[0] != "remote" || isAddress(line.words[1]))
            return;
        if (seen.emplace(line.words[1]).second)
            names.emplace_back(line.words[1]);
    });
    return names;
}

std::optional<std::string> NumericRemotes::rewrite(std::string_view profile,
                                                   const Addresses& addresses) {
    const Protocol* profileProtocol = defaultProtocol(profile);
    std::string out;
    size_t remotes = 0;
    bool refused = false;
    ProfileLines::forEach(profile, [&](const ProfileLines::Line& line) {
        const auto& w = line.words;
        if (w.size() < 2 || w[0] != "remote" || isAddress(w[1])) {
            if (w.size() >= 2 && w[0] == "remote")
                ++remotes;
            out.append(line.text).push_back('\n');
            return;
        }
        std::string tail;
        const Protocol* protocol = profileProtocol;
        if (w.size() >= 3) {
            const auto port = portText(w[2]);
            refused |= !port;
            tail += " " + port.value_or("");
        }
        if (w.size() >= 4) {
            protocol = protocolNamed(w[3]);
            refused |= !protocol || w.size() > 4;
            if (protocol)
                tail += " " + std::string(protocol->name);
        }
        const auto found = addresses.find(w[1]);
        if (found == addresses.end())
            return;
        size_t written = 0;
        for (const std::string& address : found->second) {
            if (written == maxAddressesPerName)
                break;
            if (!isAddress(address) ||
                (protocol && protocol->family && protocol->family != familyOf(address)))
                continue;
            out += "remote " + address + tail + "\n";
            ++written;
        }
        remotes += written;
    });
    if (refused || remotes == 0)
        return std::nullopt;
    return out;
}

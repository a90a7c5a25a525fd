#include "helperd/PushedDns.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <optional>
#include <sys/socket.h>

namespace {

std::optional<PushedDns::Server> server(const std::string& text) {
    PushedDns::Server s;
    uint8_t bytes[16];
    if (::inet_pton(AF_INET, text.c_str(), bytes) == 1) {
        s.family = AF_INET;
        s.address.assign(bytes, bytes + 4);
    } else if (::inet_pton(AF_INET6, text.c_str(), bytes) == 1) {
        s.family = AF_INET6;
        s.address.assign(bytes, bytes + 16);
    } else {
        return std::nullopt;
    }
    char written[INET6_ADDRSTRLEN];
    ::inet_ntop(s.family, bytes, written, sizeof written);
    s.text = written;
    return s;
}

// Why an address cannot be a VPN's name server, or null. The private ranges (10/8,
// 172.16/12, 192.168/16, 100.64/10, fc00::/7) stay: VPN resolvers live there. An IPv6
// address that carries an IPv4 one (mapped ::ffff:a.b.c.d, translated ::ffff:0:a.b.c.d,
// compatible ::a.b.c.d) is judged by that IPv4 address.
const char* unusable(const PushedDns::Server& s) {
    const uint8_t* a = s.address.data();
    if (s.family == AF_INET6) {
        static constexpr uint8_t zero[16] = {};
        if (std::memcmp(a, zero, 16) == 0)
            return "an unspecified address";
        if (std::memcmp(a, zero, 15) == 0 && a[15] == 1)
            return "a loopback address";
        if (a[0] == 0xff)
            return "a multicast address";
        // Without the interface it belongs to, which a push cannot name, no use.
        if (a[0] == 0xfe && (a[1] & 0xc0) == 0x80)
            return "a link-local address";
        const bool compatible = std::memcmp(a, zero, 12) == 0;
        const bool mapped = std::memcmp(a, zero, 10) == 0 && a[10] == 0xff && a[11] == 0xff;
        const bool translated = std::memcmp(a, zero, 8) == 0 && a[8] == 0xff && a[9] == 0xff &&
                                a[10] == 0 && a[11] == 0;
        if (!compatible && !mapped && !translated)
            return nullptr;
        a += 12;
    }
    if (a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0)
        return "an unspecified address";
    if (a[0] == 127)
        return "a loopback address";
    if (a[0] >= 224 && a[0] <= 239)
        return "a multicast address";
    if (a[0] == 255 && a[1] == 255 && a[2] == 255 && a[3] == 255)
        return "a broadcast address";
    if (a[0] == 169 && a[1] == 254)
        return "a link-local address";
    // 0.0.0.0/8 is "this network", 240.0.0.0/4 never assigned: neither is any host's.
    if (a[0] == 0 || a[0] >= 240)
        return "a reserved address";
    return nullptr;
}

std::optional<long> number(const std::string& text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

const std::string* find(const PushedDns::Environment& environment, const std::string& name) {
    const auto it = environment.find(name);
    return it == environment.end() ? nullptr : &it->second;
}

// Splits on blanks, as openvpn joins a foreign option's words.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find(' ', at), text.size());
        if (end > at)
            out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

class Collector {
public:
    explicit Collector(PushedDns& dns) : dns_(dns) {}

    void server(const std::string& text, uint16_t port, bool overTls) {
        auto s = ::server(text);
        if (!s)
            return ignore("a DNS server that is no address");
        // The machine itself, or no one host: never the VPN's server, and a loopback one
        // would take the names past the tunnel to whatever listens here.
        if (const char* why = unusable(*s))
            return ignore("a DNS server that is " + std::string(why) + ": " + s->text);
        if (dns_.servers.size() >= PushedDns::maxServers)
            return ignore("DNS servers beyond " + std::to_string(PushedDns::maxServers));
        s->port = port;
        s->overTls = overTls;
        const bool known = std::any_of(dns_.servers.begin(), dns_.servers.end(), [&](auto& o) {
            return o.address == s->address && o.port == s->port;
        });
        if (!known)
            dns_.servers.push_back(std::move(*s));
    }

    void domain(const std::string& text, std::vector<std::string>& into) {
        const std::string d = PushedDns::domain(text);
        if (d.empty())
            return ignore("a DNS domain that is no host name");
        if (dns_.searchDomains.size() + dns_.routingDomains.size() >= PushedDns::maxDomains)
            return ignore("DNS domains beyond " + std::to_string(PushedDns::maxDomains));
        if (std::find(into.begin(), into.end(), d) == into.end())
            into.push_back(d);
    }

    void ignore(const std::string& what) {
        if (std::find(dns_.ignored.begin(), dns_.ignored.end(), what) == dns_.ignored.end())
            dns_.ignored.push_back(what);
    }

private:
    PushedDns& dns_;
};

// openvpn numbers its variables from 1 without gaps (dns_server_N from the server ids,
// which may be sparse: all 256 are looked at).
constexpr int maxIndex = 256;

void dnsOption(const PushedDns::Environment& env, PushedDns& dns, Collector& collect) {
    for (int n = 0; n < 128; ++n) {
        const std::string prefix = "dns_server_" + std::to_string(n) + "_";
        if (!find(env, prefix + "address_1"))
            continue;
        const std::string* transport = find(env, prefix + "transport");
        if (transport && *transport == "DoH") {
            collect.ignore("a DNS server reached only over HTTPS");
            continue;
        }
        const bool overTls = transport && *transport == "DoT";
        for (int m = 1; m <= 8; ++m) {
            const std::string* address = find(env, prefix + "address_" + std::to_string(m));
            if (!address)
                break;
            uint16_t port = 0;
            if (const std::string* p = find(env, prefix + "port_" + std::to_string(m))) {
                const auto value = number(*p);
                if (!value || *value < 1 || *value > 65535) {
                    collect.ignore("a DNS server port that is no port");
                    continue;
                }
                port = static_cast<uint16_t>(*value);
            }
            collect.server(*address, port, overTls);
        }
        for (int m = 1; m <= maxIndex; ++m) {
            const std::string* d = find(env, prefix + "resolve_domain_" + std::to_string(m));
            if (!d)
                break;
            collect.domain(*d, dns.routingDomains);
        }
    }
    for (int n = 1; n <= maxIndex; ++n) {
        const std::string* d = find(env, "dns_search_domain_" + std::to_string(n));
        if (!d)
            break;
        collect.domain(*d, dns.searchDomains);
    }
}

void dhcpOptions(const PushedDns::Environment& env, PushedDns& dns, Collector& collect,
                 bool serversFromDns, bool domainsFromDns) {
    for (int n = 1; n <= maxIndex; ++n) {
        const std::string* option = find(env, "foreign_option_" + std::to_string(n));
        if (!option)
            break;
        const auto w = words(*option);
        if (w.size() != 3 || w[0] != "dhcp-option")
            continue;
        if ((w[1] == "DNS" || w[1] == "DNS6") && !serversFromDns)
            collect.server(w[2], 0, false);
        else if ((w[1] == "DOMAIN" || w[1] == "DOMAIN-SEARCH") && !domainsFromDns)
            collect.domain(w[2], dns.searchDomains);
    }
}

} // namespace

std::string PushedDns::domain(const std::string& text) {
    std::string name = text;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name.empty() || name.size() > 253)
        return {};
    size_t label = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? name[i] : '.';
        if (c == '.') {
            if (label == 0 || label > 63 || name[i - 1] == '-')
                return {};
            label = 0;
            continue;
        }
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && !(c == '-' && label > 0))
            return {};
        if (c >= 'A' && c <= 'Z')
            name[i] = static_cast<char>(c - 'A' + 'a');
        ++label;
    }
    return name;
}

PushedDns PushedDns::fromEnvironment(const Environment& environment) {
    PushedDns dns;
    Collector collect(dns);
    dnsOption(environment, dns, collect);
    // openvpn's `dns` option overrides dhcp-option where it says something.
    const bool serversFromDns = !dns.servers.empty();
    const bool domainsFromDns = !dns.searchDomains.empty();
    dhcpOptions(environment, dns, collect, serversFromDns, domainsFromDns);
    return dns;
}

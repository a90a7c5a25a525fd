#include "helperd/FullTunnel.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <string>
#include <sys/socket.h>

std::optional<FullTunnel::Prefix> FullTunnel::parse(std::string_view text) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    Prefix p;
    const std::string address(text.substr(0, slash));
    if (::inet_pton(AF_INET, address.c_str(), p.address.data()) == 1)
        p.family = AF_INET;
    else if (::inet_pton(AF_INET6, address.c_str(), p.address.data()) == 1)
        p.family = AF_INET6;
    else
        return std::nullopt;
    const std::string_view length = text.substr(slash + 1);
    const auto [end, error] =
        std::from_chars(length.data(), length.data() + length.size(), p.length);
    const int bits = p.family == AF_INET ? 32 : 128;
    if (error != std::errc() || end != length.data() + length.size() || p.length < 0 ||
        p.length > bits)
        return std::nullopt;
    for (int bit = p.length; bit < bits; ++bit)
        if (p.address[static_cast<size_t>(bit / 8)] & (0x80 >> (bit % 8)))
            return std::nullopt;
    return p;
}

namespace {

using Address = unsigned __int128;

struct Span {
    Address first = 0, last = 0;
};

Span span(const FullTunnel::Prefix& p) {
    const int bits = p.family == AF_INET ? 32 : 128;
    Address first = 0;
    for (int i = 0; i < bits / 8; ++i)
        first = (first << 8) | p.address[static_cast<size_t>(i)];
    const Address hosts =
        p.length == 0 ? ~Address(0) >> (128 - bits) : (Address(1) << (bits - p.length)) - 1;
    return {first, first | hosts};
}

// Whether the routes of `target`'s family together carry every address of it: a sweep
// over the routes in order of their first address, so any number of them, overlapping
// or not, is judged in one pass.
bool covers(const std::vector<FullTunnel::Prefix>& routes, const FullTunnel::Prefix& target) {
    std::vector<Span> spans;
    for (const auto& r : routes)
        if (r.family == target.family)
            spans.push_back(span(r));
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.first < b.first; });
    const Span wanted = span(target);
    // The first address of `wanted` not yet known to be carried.
    Address next = wanted.first;
    for (const Span& s : spans) {
        if (s.last < next)
            continue;
        if (s.first > next)
            return false;
        if (s.last >= wanted.last)
            return true;
        next = s.last + 1;
    }
    return false;
}

} // namespace

const std::vector<FullTunnel::Prefix>& FullTunnel::spans() {
    static const std::vector<Prefix> table = {
        *parse("0.0.0.0/0"),
        // All of IPv6 holds it; `redirect-gateway ipv6` routes it (with ::/3 and fc00::/7),
        // and providers push it with `route-ipv6`.
        *parse("2000::/3"),
    };
    return table;
}

bool FullTunnel::takesDefaultRoute(const std::vector<Prefix>& routes) {
    return std::any_of(spans().begin(), spans().end(),
                       [&](const Prefix& span) { return covers(routes, span); });
}

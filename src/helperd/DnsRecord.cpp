#include "helperd/DnsRecord.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <net/if.h>
#include <vector>

namespace {

using Kind = ResolvConfFile::Original::Kind;

const std::pair<DnsPlan::Setup, const char*> setups[] = {{DnsPlan::Setup::resolved, "resolved"},
                                                         {DnsPlan::Setup::resolvconf, "resolvconf"},
                                                         {DnsPlan::Setup::file, "file"},
                                                         {DnsPlan::Setup::none, "none"}};
const std::pair<Kind, const char*> kinds[] = {
    {Kind::absent, "absent"}, {Kind::file, "file"}, {Kind::link, "link"}};

template <typename T, size_t N>
std::optional<T> named(const std::pair<T, const char*> (&table)[N], const std::string& name) {
    for (const auto& [value, text] : table)
        if (name == text)
            return value;
    return std::nullopt;
}

template <typename T, size_t N>
const char* nameOf(const std::pair<T, const char*> (&table)[N], T value) {
    for (const auto& [v, text] : table)
        if (v == value)
            return text;
    return "";
}

std::string hex(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> unhex(const std::string& text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (error != std::errc() || end != text.data() + i + 2)
            return std::nullopt;
        out += static_cast<char>(value);
    }
    return out;
}

template <typename T> std::optional<T> number(const std::string& text, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

bool DnsRecord::deviceName(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '.' || c == '-';
           });
}

std::string DnsRecord::text() const {
    std::string out = "setup " + std::string(nameOf(setups, setup)) + "\n";
    out += "ifindex " + std::to_string(ifindex) + "\nifname " + ifname + "\n";
    if (setup == DnsPlan::Setup::file) {
        out += "original " + std::string(nameOf(kinds, original.kind)) + "\n";
        char mode[8];
        char* modeEnd = std::to_chars(mode, mode + sizeof mode, unsigned{original.mode}, 8).ptr;
        out += "mode " + std::string(mode, modeEnd) + "\n";
        out += "content " + hex(original.content) + "\nwritten " + hex(written) + "\n";
    }
    return out;
}

std::optional<DnsRecord> DnsRecord::parse(const std::string& text) {
    if (text.size() > maxBytes)
        return std::nullopt;
    std::map<std::string, std::string> fields;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        const size_t blank = line.find(' ');
        if (blank == std::string::npos ||
            !fields.emplace(line.substr(0, blank), line.substr(blank + 1)).second)
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;
    // Exactly the keys the record's setup has: no more, none missing.
    static const std::vector<std::string> plainKeys = {"setup", "ifindex", "ifname"};
    static const std::vector<std::string> fileKeys = {"setup", "ifindex", "ifname", "original",
                                                      "mode",  "content", "written"};
    const auto setupField = fields.find("setup");
    const auto& keys =
        setupField != fields.end() && setupField->second == "file" ? fileKeys : plainKeys;
    if (fields.size() != keys.size() ||
        !std::all_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return fields.count(k); }))
        return std::nullopt;
    DnsRecord record;
    const auto setup = named(setups, fields["setup"]);
    const auto ifindex = number<int>(fields["ifindex"]);
    if (!setup || !ifindex || *ifindex <= 0 || !deviceName(fields["ifname"]))
        return std::nullopt;
    record.setup = *setup;
    record.ifindex = *ifindex;
    record.ifname = fields["ifname"];
    if (record.setup != DnsPlan::Setup::file)
        return record;
    const auto kind = named(kinds, fields["original"]);
    const auto mode = number<unsigned>(fields["mode"], 8);
    auto content = unhex(fields["content"]);
    auto written = unhex(fields["written"]);
    if (!kind || !mode || *mode > 07777 || !content || !written ||
        content->size() > ResolvConfFile::maxBytes || written->size() > ResolvConfFile::maxBytes)
        return std::nullopt;
    record.original = {*kind, std::move(*content), static_cast<mode_t>(*mode)};
    record.written = std::move(*written);
    return record;
}

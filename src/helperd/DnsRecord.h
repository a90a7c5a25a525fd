#pragma once

#include "helperd/DnsPlan.h"
#include "helperd/ResolvConfFile.h"

#include <optional>
#include <string>

// What the daemon did to the machine's DNS for a run, written down before it does it
// (in root's /run directory), so that what a run left can be undone when the run ends
// however it ends, and at the daemon's next start when the daemon itself was killed.
struct DnsRecord {
    DnsPlan::Setup setup = DnsPlan::Setup::none;
    // The tunnel's link: its index for resolved, its name to see that the index still
    // names the same link, and for resolvconf's record ("NAME.openvpn").
    int ifindex = 0;
    std::string ifname;
    // The file: what was there and what the run wrote.
    ResolvConfFile::Original original;
    std::string written;

    bool operator==(const DnsRecord&) const = default;

    // Lines of "key value"; the file's bytes in hex, so that nothing in them can end a line.
    std::string text() const;
    // Empty when the text is not a record this daemon wrote.
    static std::optional<DnsRecord> parse(const std::string& text);
    // A bound on text() for parse's reader.
    static constexpr size_t maxBytes = 4 * ResolvConfFile::maxBytes + 1024;

    // A tunnel device's name as the kernel allows one (IFNAMSIZ, no '/' or blank).
    static bool deviceName(const std::string& name);
};

#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <string>
#include <string_view>

// Both views point at text fixed in the checker (a directive name from its allowlist, a
// reason), never into the profile, so a refusal can be logged whatever the profile holds.
struct ProfileRefusal {
    size_t line = 0;            // 1-based line of the refusal, 0 for the profile as a whole
    std::string_view directive; // the allowed directive the refusal is about, if any
    size_t argument = 0;        // 1-based argument the refusal is about, 0 for none
    std::string_view reason;

    std::string describe() const;
};

using ProfileVerdict = Result<void, ProfileRefusal>;

// Decides whether a profile handed in by an unprivileged user may be run by openvpn
// as root. Only a TLS client that pulls its settings from a remote server is run,
// with encryption and authentication on and no local port of its choosing. Only
// directives such a profile needs are allowed, each with arguments that cannot name
// a file, a program or a library; everything else, in whatever spelling, is refused.
// The helper adds management, scripts and credential query on openvpn's command
// line itself.
class ProfileChecker {
public:
    static constexpr size_t maxProfileBytes = 256 * 1024;
    // openvpn reads its configuration in pieces of at most 255 characters, the line
    // feed included; a longer line would reach it cut, and inside an inline block a
    // piece that starts with the closing tag would end the block early. Every line
    // (carriage return included, line feed not) must fit in one piece.
    static constexpr size_t maxLine = 254;

    static ProfileVerdict check(std::string_view profile);
};

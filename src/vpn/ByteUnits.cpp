#include "vpn/ByteUnits.h"

#include <array>

std::string ByteUnits::format(uint64_t bytes, const std::string& decimalSeparator) {
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    constexpr std::array<const char*, 3> units = {"KB", "MB", "GB"};
    uint64_t scale = 1024;
    size_t unit = 0;
    while (unit + 1 < units.size() && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    // Rounded down, so a total never shows more than it is.
    const uint64_t whole = bytes / scale;
    // Kilobytes go without tenths: a tenth of one changes with every keepalive of an
    // idle tunnel, and each change of the figure wakes the window.
    if (whole >= 10 || unit == 0)
        return std::to_string(whole) + " " + units[unit];
    const uint64_t tenth = bytes % scale * 10 / scale;
    return std::to_string(whole) + decimalSeparator + std::to_string(tenth) + " " + units[unit];
}

#include "vpn/ByteUnits.h"

std::string ByteUnits::format(uint64_t bytes, const Notation& notation) {
    if (bytes < 1024)
        return std::to_string(bytes) + " " + notation.units[0];
    uint64_t scale = 1024;
    size_t unit = 1;
    while (unit + 1 < notation.units.size() && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    // Rounded down, so a total never shows more than it is.
    const uint64_t whole = bytes / scale;
    // Kilobytes go without tenths: a tenth of one changes with every keepalive of an
    // idle tunnel, and each change of the figure wakes the window.
    if (whole >= 10 || unit == 1)
        return std::to_string(whole) + " " + notation.units[unit];
    const uint64_t tenth = bytes % scale * 10 / scale;
    return std::to_string(whole) + notation.decimalSeparator + std::to_string(tenth) + " " +
           notation.units[unit];
}

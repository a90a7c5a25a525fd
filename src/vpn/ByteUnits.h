#pragma once

#include <array>
#include <cstdint>
#include <string>

// Byte counts as people read them: "512 B", "1 KB", "340 KB", "1,2 MB", "12 MB",
// "1,2 GB" (units of 1024, rounded down, megabytes and gigabytes with one decimal
// below ten). The decimal separator and the units' names are the reader's; the
// window's own are Dutch's comma and B, KB, MB, GB.
namespace ByteUnits {

struct Notation {
    std::string decimalSeparator = ",";
    std::array<std::string, 4> units = {"B", "KB", "MB", "GB"};
};

std::string format(uint64_t bytes, const Notation& notation = {});

} // namespace ByteUnits

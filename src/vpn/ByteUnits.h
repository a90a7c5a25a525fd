#pragma once

#include <cstdint>
#include <string>

// Byte counts as people read them: "512 B", "1 KB", "340 KB", "1,2 MB", "12 MB",
// "1,2 GB" (units of 1024, rounded down, megabytes and gigabytes with one decimal
// below ten). The decimal separator is the reader's; the window's own is Dutch's comma.
namespace ByteUnits {

std::string format(uint64_t bytes, const std::string& decimalSeparator = ",");

} // namespace ByteUnits

#pragma once

#include <cstdint>
#include <string>

// Byte counts as people read them: "512 B", "1 KB", "340 KB", "1,2 MB", "12 MB",
// "1,2 GB" (units of 1024, rounded down, megabytes and gigabytes with one decimal
// below ten, in the decimal comma of the window's Dutch).
namespace ByteUnits {

std::string format(uint64_t bytes);

} // namespace ByteUnits

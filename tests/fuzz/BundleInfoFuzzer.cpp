// Arbitrary files read as a helper copy's ELF image.
#include "helper/BundleInfo.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BundleInfo::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

// Arbitrary bytes, cut into arbitrary reads, through the management client's read
// path: decoding, line cutting and line handling.
#include "vpn/OpenVPNManagement.h"

#include <cstddef>
#include <cstdint>

namespace {

struct CountingSink : StateSink {
    size_t words = 0;
    void updateState(const std::string& word) override { words += word.size() + 1; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingSink sink;
    OpenVPNManagement management(sink);
    OpenVPNManagement::ReadBuffer buffer;
    // Each read's length comes from the input itself, so the fuzzer explores cuts.
    size_t i = 0;
    while (i < size) {
        const size_t length = std::min<size_t>(1 + data[i] % 64, size - i - 1);
        ++i;
        management.receive(buffer,
                           std::string_view(reinterpret_cast<const char*>(data + i), length));
        i += length;
    }
    return 0;
}

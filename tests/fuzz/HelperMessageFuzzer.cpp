// Arbitrary bytes as they would reach the helper daemon from a client: cut into
// lines with the daemon's bound, each line decoded as a request. A decoded request
// must survive encoding and decoding unchanged.
#include "helper/HelperWire.h"
#include "helper/LineReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LineReader lines(HelperWire::maxLineBytes);
    lines.append(std::string_view(reinterpret_cast<const char*>(data), size));
    if (lines.overflowed())
        return 0;
    while (auto line = lines.next()) {
        const auto request = HelperWire::decodeRequest(*line);
        if (!request)
            continue;
        const std::string again = HelperWire::encode(*request);
        const auto back =
            HelperWire::decodeRequest(std::string_view(again).substr(0, again.size() - 1));
        if (!back || back->id != request->id || back->operation != request->operation ||
            back->clientUp != request->clientUp || back->clientDown != request->clientDown)
            std::abort();
    }
    HelperWire::decodeReply(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

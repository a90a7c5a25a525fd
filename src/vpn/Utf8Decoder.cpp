#include "vpn/Utf8Decoder.h"

#include <cstdint>

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the sequence that `lead` starts, and the allowed range of its second byte.
struct Lead {
    int length;
    uint8_t secondLow;
    uint8_t secondHigh;
};

Lead classify(uint8_t lead) {
    if (lead < 0x80)
        return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF};
    if (lead == 0xED)
        return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3, 0x80, 0xBF};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4, 0x80, 0xBF};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

} // namespace

void Utf8Decoder::decode(std::string_view bytes, std::string& out) {
    std::string_view input = bytes;
    if (!pending_.empty()) {
        joined_.assign(pending_);
        joined_.append(bytes);
        input = joined_;
        pending_.clear();
    }
    size_t i = 0;
    const size_t n = input.size();
    while (i < n) {
        const auto lead = static_cast<uint8_t>(input[i]);
        if (lead < 0x80) {
            size_t run = i + 1;
            while (run < n && static_cast<uint8_t>(input[run]) < 0x80)
                ++run;
            out.append(input.substr(i, run - i));
            i = run;
            continue;
        }
        const Lead kind = classify(lead);
        if (kind.length == 0) {
            out.append(replacement);
            ++i;
            continue;
        }
        // Count how many bytes after the lead are valid continuations.
        int valid = 1;
        while (valid < kind.length && i + valid < n) {
            const auto c = static_cast<uint8_t>(input[i + valid]);
            const uint8_t low = valid == 1 ? kind.secondLow : 0x80;
            const uint8_t high = valid == 1 ? kind.secondHigh : 0xBF;
            if (c < low || c > high)
                break;
            ++valid;
        }
        if (valid == kind.length) {
            out.append(input.substr(i, static_cast<size_t>(valid)));
            i += static_cast<size_t>(valid);
        } else if (i + valid == n) {
            pending_.assign(
                input.substr(i, static_cast<size_t>(valid))); // cut by the end: wait for more
            break;
        } else {
            out.append(replacement);
            i += static_cast<size_t>(valid);
        }
    }
}

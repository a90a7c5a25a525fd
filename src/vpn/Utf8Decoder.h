#pragma once

#include <string>
#include <string_view>

// Turns a byte stream that arrives in arbitrary pieces into valid UTF-8 text. A
// multi-byte character cut by the end of one piece is held back for the next; bytes
// that can never form a character become U+FFFD, so the text around them survives.
class Utf8Decoder {
public:
    // Appends the text of `bytes` to `out`. Nothing is allocated here unless `out` must
    // grow or a character was cut: a reader that keeps its text's room reads all day
    // without handing the allocator a new size.
    void decode(std::string_view bytes, std::string& out);

private:
    std::string pending_;
    std::string joined_; // pending_ and the next piece, when a character was cut
};

#pragma once

#include <string>
#include <string_view>

// Turns a byte stream that arrives in arbitrary pieces into valid UTF-8 text. A
// multi-byte character cut by the end of one piece is held back for the next; bytes
// that can never form a character become U+FFFD, so the text around them survives.
class Utf8Decoder {
public:
    std::string decode(std::string_view bytes);

private:
    std::string pending_;
};

#pragma once

#include <optional>
#include <string>
#include <string_view>

// Collects bytes from a stream and hands out complete LF-terminated lines, refusing
// to hold more than `maxLine` bytes of one line.
class LineReader {
public:
    explicit LineReader(size_t maxLine) : maxLine_(maxLine) {}

    void append(std::string_view bytes) { buffer_.append(bytes); }
    // The next complete line without its LF, if one is there.
    std::optional<std::string> next();
    // True once a line has grown past the limit; the stream is then unusable.
    bool overflowed() const;
    // Whether bytes of an unfinished line are waiting for the rest of it.
    bool holdsPartialLine() const { return buffer_.size() > start_; }
    // Whether a complete line is waiting to be taken.
    bool holdsLine() const { return buffer_.find('\n', start_) != std::string::npos; }

private:
    size_t maxLine_;
    std::string buffer_;
    size_t start_ = 0;
};

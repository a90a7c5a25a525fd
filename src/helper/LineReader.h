#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Collects bytes from a stream and hands out complete LF-terminated lines, refusing
// to hold more than `maxLine` bytes of one line. Descriptors that came with the bytes
// belong to the line of the last byte they came with (see FdPassing).
class LineReader {
public:
    explicit LineReader(size_t maxLine) : maxLine_(maxLine) {}

    void append(std::string_view bytes, std::vector<UniqueFd> fds = {});
    // The next complete line without its LF, if one is there.
    std::optional<std::string> next();
    // The descriptors that came with the line next() returned last; closed unless taken.
    std::vector<UniqueFd> takeFds() { return std::exchange(lineFds_, {}); }
    // Descriptors waiting for the end of their line.
    size_t heldFds() const { return fds_.size(); }
    // Every descriptor held, for whoever closes them.
    std::vector<UniqueFd> takeAllFds();
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
    uint64_t dropped_ = 0; // bytes of the stream erased from the front of buffer_
    // Each with the position in the stream of the last byte it came with.
    std::deque<std::pair<uint64_t, UniqueFd>> fds_;
    std::vector<UniqueFd> lineFds_;
};

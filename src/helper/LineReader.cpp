#include "helper/LineReader.h"

std::optional<std::string> LineReader::next() {
    const size_t lf = buffer_.find('\n', start_);
    if (lf == std::string::npos || lf - start_ > maxLine_) {
        buffer_.erase(0, start_);
        start_ = 0;
        return std::nullopt;
    }
    std::string line = buffer_.substr(start_, lf - start_);
    start_ = lf + 1;
    return line;
}

bool LineReader::overflowed() const {
    const size_t lf = buffer_.find('\n', start_);
    const size_t lineLength = (lf == std::string::npos ? buffer_.size() : lf) - start_;
    return lineLength > maxLine_;
}

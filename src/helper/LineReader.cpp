#include "helper/LineReader.h"

void LineReader::append(std::string_view bytes, std::vector<UniqueFd> fds) {
    if (bytes.empty())
        return; // a descriptor always comes with bytes; without any it is closed here
    const uint64_t last = dropped_ + buffer_.size() + bytes.size() - 1;
    buffer_.append(bytes);
    for (auto& fd : fds)
        fds_.emplace_back(last, std::move(fd));
}

std::optional<std::string> LineReader::next() {
    lineFds_.clear();
    const size_t lf = buffer_.find('\n', start_);
    if (lf == std::string::npos || lf - start_ > maxLine_) {
        buffer_.erase(0, start_);
        dropped_ += start_;
        start_ = 0;
        return std::nullopt;
    }
    const uint64_t end = dropped_ + lf;
    while (!fds_.empty() && fds_.front().first <= end) {
        lineFds_.push_back(std::move(fds_.front().second));
        fds_.pop_front();
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

std::vector<UniqueFd> LineReader::takeAllFds() {
    std::vector<UniqueFd> all = std::exchange(lineFds_, {});
    for (auto& entry : fds_)
        all.push_back(std::move(entry.second));
    fds_.clear();
    return all;
}

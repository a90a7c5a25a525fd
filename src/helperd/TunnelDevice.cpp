#include "helperd/TunnelDevice.h"

#include <sys/stat.h>
#include <vector>

namespace {

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        std::string_view word = line.substr(start, i - start);
        if (word.size() >= 2 && (word.front() == '"' || word.front() == '\'') &&
            word.back() == word.front())
            word = word.substr(1, word.size() - 2);
        if (i > start)
            out.push_back(word);
    }
    return out;
}

} // namespace

std::string TunnelDevice::typeOf(std::string_view profile) {
    std::optional<bool> tapByType;
    bool tapByName = false;
    bool inBlock = false;
    size_t start = 0;
    while (start < profile.size()) {
        size_t end = profile.find('\n', start);
        if (end == std::string_view::npos)
            end = profile.size();
        const std::string_view line = profile.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("</")) {
            inBlock = false;
            continue;
        }
        if (line.starts_with("<")) {
            inBlock = true;
            continue;
        }
        if (inBlock)
            continue;
        const auto w = words(line);
        if (w.size() < 2)
            continue;
        if (w[0] == "dev-type")
            tapByType = w[1] == "tap";
        else if (w[0] == "dev")
            tapByName = w[1].starts_with("tap");
    }
    return tapByType.value_or(tapByName) ? "tap" : "tun";
}

std::optional<std::string> TunnelDevice::freeName(const std::string& type) {
    for (int index = 0; index <= maxIndex; ++index) {
        const std::string name = type + std::to_string(index);
        struct stat st;
        if (::lstat(("/sys/class/net/" + name).c_str(), &st) != 0)
            return name;
    }
    return std::nullopt;
}

#include "helperd/ProfileLines.h"

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !blank(line[i]))
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

void ProfileLines::forEach(std::string_view profile,
                           const std::function<void(const Line&)>& visit) {
    bool inBlock = false;
    size_t start = 0;
    while (start < profile.size()) {
        size_t end = profile.find('\n', start);
        if (end == std::string_view::npos)
            end = profile.size();
        Line line{profile.substr(start, end - start), {}};
        start = end + 1;
        size_t first = 0;
        while (first < line.text.size() && blank(line.text[first]))
            ++first;
        const std::string_view rest = line.text.substr(first);
        if (rest.starts_with("</"))
            inBlock = false;
        else if (rest.starts_with("<"))
            inBlock = true;
        else if (!inBlock && !rest.starts_with("#") && !rest.starts_with(";"))
            line.words = words(rest);
        visit(line);
    }
}

#pragma once

#include <functional>
#include <string_view>
#include <vector>

// Walks an accepted profile line by line: each line as it stands (without its LF), and,
// for a directive line outside inline blocks, its words with their quotes taken off.
// Comments, blank lines, block tags and block contents have no words.
class ProfileLines {
public:
    struct Line {
        std::string_view text;
        std::vector<std::string_view> words;
    };

    static void forEach(std::string_view profile, const std::function<void(const Line&)>& visit);
};

#include "helperd/LogScrub.h"

#include <array>
#include <cctype>

namespace {

bool localPart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("._%+-'!#$&*=?^`{|}~/").find(c) != std::string_view::npos;
}

bool domainPart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
}

// Replaces each address around an '@' that has a local part before it and a dotted domain
// after it.
std::string withoutAddresses(std::string text) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
        size_t start = at;
        while (start > 0 && localPart(text[start - 1]))
            --start;
        size_t end = at + 1;
        while (end < text.size() && domainPart(text[end]))
            ++end;
        while (end > at + 1 && (text[end - 1] == '.' || text[end - 1] == '-'))
            --end;
        const std::string_view domain(text.data() + at + 1, end - at - 1);
        if (start == at || domain.find('.') == std::string_view::npos)
            continue;
        const std::string mask = "<e-mail address>";
        text.replace(start, end - start, mask);
        at = start + mask.size() - 1;
    }
    return text;
}

// What follows each of these, up to the next blank, comma or quote, goes.
constexpr std::array<std::string_view, 2> secretKeys{"auth-token-user ", "auth-token "};

std::string withoutSecretValues(std::string text) {
    for (std::string_view key : secretKeys) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
            const size_t start = at + key.size();
            size_t end = start;
            while (end < text.size() && text[end] != ',' && text[end] != '\'' && text[end] != ' ')
                ++end;
            if (end > start)
                text.replace(start, end - start, "[not logged]");
        }
    }
    return text;
}

} // namespace

std::string LogScrub::scrubbed(std::string_view line) {
    std::string text(line);
    // Of a command openvpn echoes, its name alone: its arguments are the user name, the
    // password, or a reply to a challenge.
    constexpr std::string_view echo = "MANAGEMENT: CMD '";
    if (const size_t at = text.find(echo); at != std::string::npos) {
        const size_t start = at + echo.size();
        size_t end = start;
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                     text[end] == '-' || text[end] == '_'))
            ++end;
        if (end < text.size() && text[end] != '\'')
            text = text.substr(0, end) + " …'";
    }
    return withoutSecretValues(withoutAddresses(std::move(text)));
}

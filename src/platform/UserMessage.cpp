#include "platform/UserMessage.h"

std::string UserMessage::plain() const {
    return in([](const std::string& text) { return text; });
}

std::string UserMessage::in(const std::function<std::string(const std::string&)>& translate) const {
    std::vector<std::string> parts;
    parts.reserve(parts_.size());
    for (const UserMessage& part : parts_)
        parts.push_back(part.in(translate));
    return fill(translate(text_), parts);
}

std::string UserMessage::fill(const std::string& text, const std::vector<std::string>& parts) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        const size_t number = next >= '1' && next <= '9' ? static_cast<size_t>(next - '0') : 0;
        if (text[at] == '%' && number > 0 && number <= parts.size()) {
            out += parts[number - 1];
            ++at;
        } else {
            out += text[at];
        }
    }
    return out;
}

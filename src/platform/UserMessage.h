#pragma once

#include "platform/UserText.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// A message the user is shown, kept as its marked text (USER_TEXT, with %1, %2 where its
// parts go) and its parts, so that the window translates the text and the translation
// places the parts. A part is a message of its own: a marked one is translated with the
// rest; a figure, a path or a system's error text has no translation and shows as it is.
class UserMessage {
public:
    UserMessage() = default;
    // A message without parts.
    UserMessage(const char* text) : text_(text) {}
    UserMessage(std::string text) : text_(std::move(text)) {}
    UserMessage(std::string text, std::vector<UserMessage> parts)
        : text_(std::move(text)), parts_(std::move(parts)) {}

    const std::string& text() const { return text_; }
    const std::vector<UserMessage>& parts() const { return parts_; }
    bool empty() const { return text_.empty(); }
    void clear() { *this = {}; }

    // The product's own words with the parts in place: the log's, and the source language's.
    std::string plain() const;
    // The message in a language: the text and each part through `translate`, which gives
    // back a text it has no translation for as it is; the parts then go where the
    // translation has their numbers.
    std::string in(const std::function<std::string(const std::string&)>& translate) const;
    // `text` with each %1..%9 replaced by that part, in one pass (a part's own "%1" stays);
    // a number with no part stays as it is.
    static std::string fill(const std::string& text, const std::vector<std::string>& parts);

    // Two messages are the same when they read the same.
    friend bool operator==(const UserMessage& a, const UserMessage& b) {
        return a.plain() == b.plain();
    }
    friend std::ostream& operator<<(std::ostream& out, const UserMessage& message) {
        return out << message.plain();
    }

private:
    std::string text_;
    std::vector<UserMessage> parts_;
};

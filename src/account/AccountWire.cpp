#include "account/AccountWire.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>
#include <span>

namespace AccountWire {

namespace {

std::string line(const nlohmann::json& request) {
    // Escaped JSON holds no line feed; text that is not UTF-8 is replaced, as the login
    // body the service gets would have it anyway.
    return request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<std::string> member(const nlohmann::json& object, const char* name) {
    const auto value = object.find(name);
    if (value == object.end() || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

constexpr std::pair<AccountReply::Outcome, std::string_view> outcomeWords[] = {
    {AccountReply::Outcome::succeeded, "succeeded"},
    {AccountReply::Outcome::failedWithResponse, "failed-with-response"},
    {AccountReply::Outcome::failedWithoutResponse, "failed-without-response"},
};

constexpr std::pair<Keyring::Result, std::string_view> keyringWords[] = {
    {Keyring::Result::done, "done"},
    {Keyring::Result::notFound, "not-found"},
    {Keyring::Result::failed, "failed"},
};

constexpr std::pair<Request::Kind, std::string_view> keyringOps[] = {
    {Request::Kind::keyringRead, "read"},
    {Request::Kind::keyringWrite, "write"},
    {Request::Kind::keyringRemove, "remove"},
};

template <typename Value>
std::string frame(std::span<const std::pair<Value, std::string_view>> words, Value value,
                  const std::string& body) {
    std::string text;
    for (const auto& [known, word] : words)
        if (known == value)
            text = std::string(word);
    return text + " " + std::to_string(body.size()) + "\n" + body;
}

// Reads one framed answer at the start of `received`: invalid as soon as the header is
// malformed, names no known word or announces more than maxBody.
template <typename Value>
Read readFrame(std::span<const std::pair<Value, std::string_view>> words, std::string_view received,
               Value& value, std::string& body) {
    const size_t end = received.find('\n');
    if (end == std::string_view::npos)
        return received.size() > maxAnswerHeader ? Read::invalid : Read::incomplete;
    if (end > maxAnswerHeader)
        return Read::invalid;
    const std::string_view header = received.substr(0, end);
    const size_t space = header.find(' ');
    if (space == std::string_view::npos)
        return Read::invalid;
    const std::string_view word = header.substr(0, space);
    const std::string_view digits = header.substr(space + 1);
    size_t length = 0;
    const auto [last, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (digits.empty() || error != std::errc() || last != digits.data() + digits.size() ||
        length > maxBody)
        return Read::invalid;
    const auto known = std::find_if(words.begin(), words.end(),
                                    [&](const auto& entry) { return entry.second == word; });
    if (known == words.end())
        return Read::invalid;
    const std::string_view rest = received.substr(end + 1);
    if (rest.size() < length)
        return Read::incomplete;
    if (rest.size() > length)
        return Read::invalid; // one answer per request, nothing after it
    value = known->first;
    body = std::string(rest);
    return Read::complete;
}

} // namespace

std::string loginRequest(const std::string& email, const std::string& password) {
    return line({{"login", {{"email", email}, {"password", password}}}});
}

std::string profileRequest(const std::string& authorization) {
    return line({{"profile", {{"authorization", authorization}}}});
}

std::string keyringRequest(Request::Kind kind, const std::string& password) {
    nlohmann::json arguments = nlohmann::json::object();
    if (kind == Request::Kind::keyringWrite)
        arguments["password"] = password;
    for (const auto& [op, word] : keyringOps)
        if (op == kind)
            return line({{"keyring", {{word, arguments}}}});
    return {};
}

std::optional<Request> readRequest(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || json.size() != 1)
        return std::nullopt;
    Request request;
    if (const auto login = json.find("login"); login != json.end() && login->is_object()) {
        auto email = member(*login, "email");
        auto password = member(*login, "password");
        if (!email || !password)
            return std::nullopt;
        request.email = std::move(*email);
        request.password = std::move(*password);
        return request;
    }
    if (const auto profile = json.find("profile"); profile != json.end() && profile->is_object()) {
        auto authorization = member(*profile, "authorization");
        if (!authorization)
            return std::nullopt;
        request.kind = Request::Kind::profile;
        request.authorization = std::move(*authorization);
        return request;
    }
    if (const auto keyring = json.find("keyring");
        keyring != json.end() && keyring->is_object() && keyring->size() == 1) {
        const auto op =
            std::find_if(std::begin(keyringOps), std::end(keyringOps),
                         [&](const auto& entry) { return keyring->begin().key() == entry.second; });
        if (op == std::end(keyringOps) || !keyring->begin()->is_object())
            return std::nullopt;
        request.kind = op->first;
        if (request.kind == Request::Kind::keyringWrite) {
            auto password = member(*keyring->begin(), "password");
            if (!password)
                return std::nullopt;
            request.password = std::move(*password);
        }
        return request;
    }
    return std::nullopt;
}

std::string answer(const AccountReply& reply) {
    return frame<AccountReply::Outcome>(outcomeWords, reply.outcome, reply.body);
}

Read readAnswer(std::string_view received, AccountReply& reply) {
    return readFrame<AccountReply::Outcome>(outcomeWords, received, reply.outcome, reply.body);
}

std::string keyringAnswer(const Keyring::Answer& answer) {
    return frame<Keyring::Result>(keyringWords, answer.result, answer.text);
}

Read readKeyringAnswer(std::string_view received, Keyring::Answer& answer) {
    return readFrame<Keyring::Result>(keyringWords, received, answer.result, answer.text);
}

} // namespace AccountWire

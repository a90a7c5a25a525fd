#include "account/AccountWire.h"

#include <charconv>
#include <nlohmann/json.hpp>

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

} // namespace

std::string loginRequest(const std::string& email, const std::string& password) {
    return line({{"login", {{"email", email}, {"password", password}}}});
}

std::string profileRequest(const std::string& authorization) {
    return line({{"profile", {{"authorization", authorization}}}});
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
    return std::nullopt;
}

std::string answer(const AccountReply& reply) {
    std::string text;
    for (const auto& [outcome, word] : outcomeWords)
        if (outcome == reply.outcome)
            text = std::string(word);
    return text + " " + std::to_string(reply.body.size()) + "\n" + reply.body;
}

Read readAnswer(std::string_view received, AccountReply& reply) {
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
    const auto known = std::find_if(std::begin(outcomeWords), std::end(outcomeWords),
                                    [&](const auto& entry) { return entry.second == word; });
    if (known == std::end(outcomeWords))
        return Read::invalid;
    const std::string_view rest = received.substr(end + 1);
    if (rest.size() < length)
        return Read::incomplete;
    if (rest.size() > length)
        return Read::invalid; // one answer per request, nothing after it
    reply.outcome = known->first;
    reply.body = std::string(rest);
    return Read::complete;
}

} // namespace AccountWire

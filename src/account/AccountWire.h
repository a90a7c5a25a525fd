#pragma once

#include "account/AccountService.h"
#include "platform/Keyring.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the application and its account process say to each other over a pipe each way.
// A request is one JSON object on a line of its own: {"login": {"email", "password"}},
// {"profile": {"authorization"}}, or for the keyring {"keyring": {"read"|"remove": {}}} or
// {"keyring": {"write": {"password"}}}. An answer is a line "<outcome> <length>" followed
// by the body's bytes: as the service sent them, or the keyring's password or complaint.
namespace AccountWire {

inline constexpr size_t maxRequestLine = 64 * 1024;
// A profile is a few kB; nothing the service has to say comes near this.
inline constexpr size_t maxBody = 4 * 1024 * 1024;
inline constexpr size_t maxAnswerHeader = 64;

struct Request {
    enum class Kind { login, profile, keyringRead, keyringWrite, keyringRemove };
    Kind kind = Kind::login;
    std::string email;
    std::string password;
    std::string authorization;
};

// Each with its line feed.
std::string loginRequest(const std::string& email, const std::string& password);
std::string profileRequest(const std::string& authorization);
std::string keyringRequest(Request::Kind kind, const std::string& password = {});
// `line` without its line feed; nullopt when it is not a request.
std::optional<Request> readRequest(std::string_view line);

std::string answer(const AccountReply& reply);

enum class Read { incomplete, complete, invalid };
// Reads the answer at the start of `received` into `reply`: invalid as soon as the
// header is malformed or announces more than maxBody.
Read readAnswer(std::string_view received, AccountReply& reply);

std::string keyringAnswer(const Keyring::Answer& answer);
Read readKeyringAnswer(std::string_view received, Keyring::Answer& answer);

} // namespace AccountWire

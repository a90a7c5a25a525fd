#pragma once

#include <optional>
#include <string>
#include <string_view>

// Builds the management commands that carry the user's credentials. openvpn's
// command parser splits on blanks and reads quotes and backslashes, so each value
// goes out as one double-quoted parameter with `\` and `"` escaped; a value with a
// control character (a line feed would start a second command) is refused.
class ManagementCommand {
public:
    static bool isSendable(std::string_view value);
    // "username 'Auth' \"...\"\n", or empty when the value is not sendable.
    static std::optional<std::string> username(std::string_view value);
    static std::optional<std::string> password(std::string_view value);
    static std::string quoted(std::string_view value);
};

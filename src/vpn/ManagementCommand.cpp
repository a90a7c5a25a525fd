#include "vpn/ManagementCommand.h"

#include <algorithm>

bool ManagementCommand::isSendable(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::string ManagementCommand::quoted(std::string_view value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::optional<std::string> ManagementCommand::username(std::string_view value) {
    if (!isSendable(value))
        return std::nullopt;
    return "username 'Auth' " + quoted(value) + "\n";
}

std::optional<std::string> ManagementCommand::password(std::string_view value) {
    if (!isSendable(value))
        return std::nullopt;
    return "password 'Auth' " + quoted(value) + "\n";
}

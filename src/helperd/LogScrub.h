#pragma once

#include <string>
#include <string_view>

// Takes out of a log line what must never reach the log: e-mail addresses (the account
// name is one), the arguments of the commands openvpn echoes from its management interface
// ("MANAGEMENT: CMD 'username "Auth" …'", "password …"), and tokens a server pushes.
class LogScrub {
public:
    static std::string scrubbed(std::string_view line);
};

#include "helperd/LogScrub.h"

#include <gtest/gtest.h>

namespace {

TEST(LogScrub, NoAddressPasswordOrTokenReachesTheLog) {
    const std::pair<const char*, const char*> cases[] = {
        // openvpn echoes the commands of its management interface at high verbosity.
        {"openvpn: 2026-12-09 13:00:00 MANAGEMENT: CMD 'username \"Auth\" alice@example.com'",
         "openvpn: 2026-12-09 13:00:00 MANAGEMENT: CMD 'username …'"},
        {"openvpn: MANAGEMENT: CMD 'password \"Auth\" \"s3cret pw\"'",
         "openvpn: MANAGEMENT: CMD 'password …'"},
        {"openvpn: MANAGEMENT: CMD 'state'", "openvpn: MANAGEMENT: CMD 'state'"},
        {"openvpn: MANAGEMENT: CMD 'hold release'", "openvpn: MANAGEMENT: CMD 'hold …'"},
        // An address anywhere else, and a pushed token.
        {"openvpn: AUTH: Received control message: AUTH_FAILED for bob.smith+vpn@mail.example.org.",
         "openvpn: AUTH: Received control message: AUTH_FAILED for <e-mail address>."},
        {"openvpn: PUSH: Received control message: 'PUSH_REPLY,auth-token SESS_ID_abc==,ping 10'",
         "openvpn: PUSH: Received control message: 'PUSH_REPLY,auth-token [not logged],ping 10'"},
        {"openvpn: auth-token-user YWxpY2U=", "openvpn: auth-token-user [not logged]"},
        // What looks like none is left alone.
        {"request getVersion from uid 1000, pid 12", "request getVersion from uid 1000, pid 12"},
        {"openvpn: TCP connection established with [AF_INET]10.0.0.1:443",
         "openvpn: TCP connection established with [AF_INET]10.0.0.1:443"},
        {"a@b and @example.com and user@localhost", "a@b and @example.com and user@localhost"},
        {"", ""},
    };
    for (const auto& [line, logged] : cases)
        EXPECT_EQ(LogScrub::scrubbed(line), logged) << line;
}

} // namespace
